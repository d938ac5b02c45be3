// Popup menus: items from the menu file and from code, clicks arriving as
// WM_USER + 121 with their record.
#include "UiTestSupport.h"

namespace {

class MenuTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        open(window);
    }
    bool openMenu(CStdStringPtrMap* checks = nullptr)
    {
        return menu.Init(nullptr, "xmls\\menus\\menu_test.xml", {200, 150}, &window.pm(), checks,
                         eMenuAlignment_Left | eMenuAlignment_Top);
    }
    TestWindow window;
    CMenuWnd menu;
};

TEST_F(MenuTest, ClickPostsTheItemRecordToTheWindow)
{
    ASSERT_TRUE(openMenu());
    EXPECT_FALSE(menu.IsOpen()) << "opens from the message loop";
    ASSERT_EQ(Driver::openMenu(), &menu);
    ASSERT_TRUE(Driver::pickMenuItem("Menu_Item_Settings"));
    EXPECT_FALSE(menu.IsOpen());
    EXPECT_TRUE(window.menuCommands.empty()) << "posted, not sent";
    Driver::processEvents();
    ASSERT_EQ(window.menuCommands.size(), 1u);
    const MenuCmd& cmd = window.menuCommands[0];
    EXPECT_STREQ(cmd.szName, "Menu_Item_Settings");
    EXPECT_STREQ(cmd.szUserData, "settings");
    EXPECT_STREQ(cmd.szText, "Settings") << "the translated text";
    ASSERT_EQ(window.received.size(), 1u);
    EXPECT_EQ(window.received[0].message, WM_MENUCLICK);
}

TEST_F(MenuTest, SubItemsChecksAndDisabledItems)
{
    ASSERT_TRUE(openMenu());
    CMenuElementUI* png = menu.FindMenuItem("Menu_Item_Png");
    ASSERT_NE(png, nullptr);
    EXPECT_TRUE(png->GetChecked());
    EXPECT_EQ(png->GetIconSize().cx, 23);
    EXPECT_EQ(menu.GetMenuUI()->GetItemAt(1)->GetCount(), 2) << "the format group holds two items";

    ASSERT_NE(Driver::openMenu(), nullptr);
    EXPECT_FALSE(Driver::pickMenuItem("Menu_Item_Disabled"));
    EXPECT_FALSE(Driver::pickMenuItem("Menu_Group_Format")) << "an expand item only opens its sub-menu";
    ASSERT_TRUE(Driver::pickMenuItem("Menu_Item_Tif"));
    Driver::processEvents();
    ASSERT_EQ(window.menuCommands.size(), 1u);
    EXPECT_STREQ(window.menuCommands[0].szName, "Menu_Item_Tif");
    EXPECT_STREQ(window.menuCommands[0].szUserData, "0");
    EXPECT_EQ(window.menuCommands[0].bChecked, TRUE);
}

TEST_F(MenuTest, ItemsAddedFromCodeAfterInitAreShown)
{
    ASSERT_TRUE(openMenu());
    auto* language = new CMenuElementUI;
    language->SetName("Menu_Language_List");
    language->SetText("MENU_SETTINGS");
    language->SetResourceText(true);
    language->SetShowExpandIcon(true);
    const char* names[] = {"Item_English", "Item_Russian"};
    for (int i = 0; i < 2; ++i) {
        auto* item = new CMenuElementUI;
        item->SetName(names[i]);
        item->SetText(i ? "РУССКИЙ" : "English");
        item->SetUserData(std::to_string(i));
        item->SetIcon("ui\\menu\\ic_menu_checked.png");
        item->SetIconSize(23, 23);
        item->SetChecked(i == 1);
        language->Add(item);
    }
    ASSERT_TRUE(menu.GetMenuUI()->AddAt(language, 0));
    CMenuElementUI stray;
    EXPECT_FALSE(menu.GetMenuUI()->AddAt(&stray, 99)) << "no such position";
    ASSERT_NE(Driver::openMenu(), nullptr);
    ASSERT_TRUE(Driver::pickMenuItem("Item_Russian"));
    Driver::processEvents();
    ASSERT_EQ(window.menuCommands.size(), 1u);
    EXPECT_STREQ(window.menuCommands[0].szText, "РУССКИЙ");
    EXPECT_STREQ(window.menuCommands[0].szUserData, "1");
}

TEST_F(MenuTest, CheckStatesAreRememberedInTheNameMap)
{
    CStdStringPtrMap checks;
    ASSERT_TRUE(openMenu(&checks));
    ASSERT_NE(Driver::openMenu(), nullptr);
    ASSERT_TRUE(Driver::pickMenuItem("Menu_Item_Png")); // was checked in the file
    Driver::processEvents();
    EXPECT_EQ(checks.Find("Menu_Item_Png"), nullptr);

    CMenuWnd again;
    ASSERT_TRUE(again.Init(nullptr, "xmls\\menus\\menu_test.xml", {0, 0}, &window.pm(), &checks));
    EXPECT_FALSE(again.FindMenuItem("Menu_Item_Png")->GetChecked());
}

TEST_F(MenuTest, MissingMenuFileAndRecordOfAGoneWindow)
{
    EXPECT_FALSE(menu.Init(nullptr, "xmls\\menus\\none.xml", {0, 0}, &window.pm()));
    ASSERT_TRUE(openMenu());
    ASSERT_NE(Driver::openMenu(), nullptr);
    ASSERT_TRUE(Driver::pickMenuItem("Menu_Item_About"));
    // The window goes before the record arrives: the record is freed, not
    // leaked (the leak checker watches this).
    window.DestroyWindow();
    Driver::processEvents();
    EXPECT_TRUE(window.menuCommands.empty());
}

} // namespace
