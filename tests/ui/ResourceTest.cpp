// The skin archive, image attribute strings and the layout builder.
#include "UiTestSupport.h"

#include "ui/DialogBuilder.h"

#include <zip.h>

#include <memory>

namespace {

class ResourceTest : public UiTest {};

TEST_F(ResourceTest, EmbeddedArchiveIsStoredUncompressed)
{
    const ui::EmbeddedResource skin = pellumo_test_skin();
    ASSERT_GT(skin.size, 0u);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(skin.data, skin.size, 0, &error);
    ASSERT_NE(source, nullptr);
    std::unique_ptr<zip_t, decltype(&zip_discard)> archive(zip_open_from_source(source, ZIP_RDONLY, &error),
                                                           zip_discard);
    ASSERT_NE(archive, nullptr);
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    ASSERT_GT(count, 5);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        ASSERT_EQ(zip_stat_index(archive.get(), static_cast<zip_uint64_t>(i), 0, &st), 0);
        EXPECT_EQ(st.comp_method, ZIP_CM_STORE) << st.name;
    }
    EXPECT_GE(zip_name_locate(archive.get(), "xmls/dialog_messagebox.xml", 0), 0);
    zip_error_fini(&error);
}

TEST_F(ResourceTest, PathsWithEitherSeparatorAndAnyCase)
{
    std::string a, b, c;
    ASSERT_TRUE(CPaintManagerUI::LoadResource("xmls\\lang\\strings_en_US.xml", a));
    ASSERT_TRUE(CPaintManagerUI::LoadResource("/xmls/lang/strings_en_US.xml", b));
    ASSERT_TRUE(CPaintManagerUI::LoadResource("XMLS\\LANG\\STRINGS_EN_US.XML", c));
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, c);
    EXPECT_NE(a.find("STR_UNSUPPORT_UPDATE"), std::string::npos);
    EXPECT_FALSE(CPaintManagerUI::LoadResource("xmls\\nothing.xml", a));
    EXPECT_FALSE(CPaintManagerUI::LoadResource("", a));
}

TEST_F(ResourceTest, BadArchiveLeavesNoneAndTheResourcePathIsUsed)
{
    const char junk[] = "not a zip archive at all";
    EXPECT_FALSE(CPaintManagerUI::SetResourceZip(junk, sizeof junk));
    std::string data;
    EXPECT_FALSE(CPaintManagerUI::LoadResource("xmls\\dialog_messagebox.xml", data));
    CPaintManagerUI::SetResourcePath(PELLUMO_TEST_SKIN_DIR);
    EXPECT_TRUE(CPaintManagerUI::LoadResource("xmls\\dialog_messagebox.xml", data));
    CPaintManagerUI::SetResourcePath("");
    EXPECT_FALSE(CPaintManagerUI::SetResourceZip(nullptr, 0));
}

TEST_F(ResourceTest, BuilderReportsBrokenLayoutsAndSkipsUnknownControls)
{
    CDialogBuilder builder;
    EXPECT_EQ(builder.CreateFromText("<Window size=\"10,10\"><VerticalLayout>"), nullptr);
    EXPECT_FALSE(builder.GetLastError().empty());
    EXPECT_EQ(builder.CreateFromText("<Window size=\"10,10\"/>"), nullptr);

    std::unique_ptr<CControlUI> root(
        builder.CreateFromText("<VerticalLayout name=\"r\"><Mystery name=\"m\"/><Label name=\"l\" text=\"x\"/>"
                               "<Include source=\"xmls\\listrow_test.xml\"/></VerticalLayout>"));
    ASSERT_NE(root, nullptr) << builder.GetLastError();
    auto* container = dynamic_cast<CContainerUI*>(root.get());
    ASSERT_EQ(container->GetCount(), 2);
    EXPECT_EQ(root->FindSubControl("m"), nullptr);
    EXPECT_NE(root->FindSubControl("row_name"), nullptr) << "included layout";
}

TEST_F(ResourceTest, WindowAttributesGoToTheManager)
{
    CPaintManagerUI pm;
    CDialogBuilder builder;
    std::unique_ptr<CControlUI> root(builder.Create("xmls\\dialog_messagebox.xml", nullptr, &pm));
    ASSERT_NE(root, nullptr);
    const WindowFrameInfo& f = pm.Frame();
    EXPECT_EQ(f.initSize.cx, 360);
    EXPECT_EQ(f.initSize.cy, 186);
    EXPECT_EQ(f.caption.bottom, 26);
    EXPECT_EQ(f.roundCorner.cx, 3);
    EXPECT_EQ(f.shadowSize, 4);
    EXPECT_EQ(f.shadowDarkness, 80);
}

TEST_F(ResourceTest, IncludedLayoutsKeepTheWindowsFrame)
{
    CPaintManagerUI pm;
    CDialogBuilder builder;
    std::unique_ptr<CControlUI> root(builder.CreateFromText(
        "<Window size=\"10,20\"><VerticalLayout><Include source=\"xmls\\dialog_messagebox.xml\"/>"
        "</VerticalLayout></Window>",
        nullptr, &pm));
    ASSERT_NE(root, nullptr) << builder.GetLastError();
    EXPECT_NE(root->FindSubControl("Tex_Message"), nullptr);
    EXPECT_EQ(pm.Frame().initSize.cx, 10);
    EXPECT_EQ(pm.Frame().initSize.cy, 20);
    EXPECT_EQ(pm.Frame().shadowSize, 0);
}

TEST_F(ResourceTest, AttributeListsAndColours)
{
    CLabelUI label;
    label.ApplyAttributeList("name=\"n\" bkcolor=\"#FF102030\" textcolor=\"#405060\" width=\"12\" tag=\"0x10\""
                             " bkimage=\"file='ui\\images\\msgboxbg_warning.png' corner='1,2,3,4'\"");
    EXPECT_EQ(label.GetName(), "n");
    EXPECT_EQ(label.GetBkColor(), 0xFF102030u);
    EXPECT_EQ(label.GetTextColor(), 0xFF405060u) << "six digits are opaque";
    EXPECT_EQ(label.GetFixedWidth(), 12);
    EXPECT_EQ(label.GetTag(), 0x10u);
    EXPECT_EQ(label.GetBkImage(), "file='ui\\images\\msgboxbg_warning.png' corner='1,2,3,4'");
    label.SetAttribute("bkcolor", "#nothex");
    EXPECT_EQ(label.GetBkColor(), 0u);
}

} // namespace
