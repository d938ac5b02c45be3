// Language layering and re-applying texts to live controls.
#include "UiTestSupport.h"

namespace {

class LanguageTest : public UiTest {
protected:
    CResourceManager& texts() { return *CResourceManager::GetInstance(); }
};

TEST_F(LanguageTest, LaterFilesLayerOverEarlierOnes)
{
    ASSERT_TRUE(texts().LoadLanguage("xmls\\lang\\strings_ru_RU.xml"));
    EXPECT_STREQ(texts().GetText("LBL_NAME"), "Имя");
    EXPECT_STREQ(texts().GetText("TITLE_TEST"), "Framework test window") << "missing in Russian: English stays";
    EXPECT_EQ(texts().GetText("NO_SUCH_ID"), nullptr);
    EXPECT_EQ(texts().GetTextOrId("NO_SUCH_ID"), "NO_SUCH_ID");

    texts().Release();
    EXPECT_EQ(texts().GetText("LBL_NAME"), nullptr);
}

TEST_F(LanguageTest, BrokenOrMissingFilesChangeNothing)
{
    EXPECT_FALSE(texts().LoadLanguage("xmls\\lang\\strings_xx_XX.xml"));
    EXPECT_FALSE(texts().LoadLanguage("xmls\\test_window.xml")) << "not a language file";
    EXPECT_STREQ(texts().GetText("LBL_NAME"), "Name");
}

TEST_F(LanguageTest, ReloadTextReappliesIdsToControls)
{
    TestWindow window;
    open(window);
    Driver ui(window);
    CControlUI* label = window.pm().FindControl("label_plain");
    auto* combo = window.find<CComboUI>("combo");
    ASSERT_TRUE(combo->SelectItem(1, false, false));
    window.find<CEditUI>("edit_name")->SetText("LBL_NAME");
    EXPECT_EQ(label->GetText(), "Name");

    texts().SetLanguage("ru_RU");
    ASSERT_TRUE(texts().LoadLanguage("xmls\\lang\\strings_ru_RU.xml"));
    texts().ReloadText();
    EXPECT_EQ(texts().GetLanguage(), "ru_RU");
    EXPECT_EQ(label->GetText(), "Имя");
    EXPECT_EQ(label->GetTextId(), "LBL_NAME");
    EXPECT_EQ(window.pm().FindControl("caption")->GetText(), "Framework test window");
    EXPECT_EQ(window.pm().FindControl("btn_plain")->GetText(), "Применить");
    EXPECT_EQ(combo->GetText(), "Авто") << "combo entries marked as resource text";
    EXPECT_EQ(combo->GetItemAt(0)->GetText(), "Fixed entry");
    EXPECT_EQ(window.find<CEditUI>("edit_name")->GetText(), "LBL_NAME") << "plain text is not an id";
}

class NullQuery : public IQueryControlText {
public:
    LPCTSTR QueryControlText(LPCTSTR id, LPCTSTR) override
    {
        ++asked;
        return std::string(id) == "LBL_NAME" ? "From the window" : nullptr;
    }
    int asked = 0;
};

TEST_F(LanguageTest, TextQueryIsAskedFirst)
{
    NullQuery query;
    texts().SetTextQueryInterface(&query);
    EXPECT_STREQ(texts().GetText("LBL_NAME"), "From the window");
    EXPECT_STREQ(texts().GetText("BTN_APPLY"), "Apply");
    EXPECT_EQ(query.asked, 2);
    texts().SetTextQueryInterface(nullptr);
}

} // namespace
