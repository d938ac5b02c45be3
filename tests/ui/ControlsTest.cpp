// Controls driven as a user drives them: the notifications, their order,
// senders and parameters.
#include "UiTestSupport.h"

#include "ui/DialogBuilder.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>
#include <map>

namespace {

class ControlsTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        open(window);
        window.notes.clear();
    }
    TestWindow window;
    Driver ui{window};
};

TEST_F(ControlsTest, LayoutBuildsEveryControlKindAndSendsWindowInitOnce)
{
    TestWindow fresh;
    open(fresh);
    ASSERT_FALSE(fresh.notes.empty());
    EXPECT_EQ(fresh.notes[0], (Note{"windowinit", "root", 0, 0}));
    EXPECT_EQ(fresh.notesOf("windowinit").size(), 1u);
    EXPECT_EQ(fresh.notesOf("setfocus").size(), 1u) << "the window's first focus";

    const std::pair<const char*, const char*> expected[] = {
        {"root", "VerticalLayoutUI"},  {"titlebar", "HorizontalLayoutUI"},
        {"caption", "LabelUI"},        {"edit_name", "EditUI"},
        {"text_links", "TextUI"},      {"btn_plain", "ButtonUI"},
        {"opt_toggle", "OptionUI"},    {"chk_box", "CheckBoxUI"},
        {"tabs", "TabLayoutUI"},       {"slider", "SliderUI"},
        {"combo", "ComboUI"},          {"list_text", "ListUI"},
        {"custom_slot", "ImageSlotUI"}};
    for (auto [name, cls] : expected) {
        CControlUI* control = fresh.pm().FindControl(name);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_STREQ(control->GetClass(), cls) << name;
    }
    EXPECT_EQ(fresh.pm().FindControl("no_such_control"), nullptr);
    EXPECT_EQ(fresh.pm().FindControl(""), nullptr);
}

TEST_F(ControlsTest, CustomControlGetsItsRectangleAfterLayout)
{
    ASSERT_NE(window.slot, nullptr);
    EXPECT_GT(window.slot->posCalls, 0);
    const RECT pos = window.slot->GetPos();
    EXPECT_EQ(pos.bottom - pos.top, 40);
    EXPECT_GT(pos.right - pos.left, 0);
    EXPECT_EQ(window.slot->lastPos.left, pos.left);
    EXPECT_EQ(window.slot->lastPos.top, pos.top);
}

TEST_F(ControlsTest, ButtonClickNotifiesOnlyWhenUsable)
{
    ASSERT_TRUE(ui.click("btn_plain"));
    EXPECT_EQ(window.notesOf("click"), (std::vector<Note>{{"click", "btn_plain", 0, 0}}));

    // Where the pointer was, from the click itself: never asked of the display server.
    const RECT button = window.find<CButtonUI>("btn_plain")->GetPos();
    EXPECT_GE(window.lastNotePointer.x, button.left);
    EXPECT_LT(window.lastNotePointer.x, button.right);
    EXPECT_GE(window.lastNotePointer.y, button.top);
    EXPECT_LT(window.lastNotePointer.y, button.bottom);

    EXPECT_FALSE(ui.click("btn_disabled"));
    window.find<CButtonUI>("btn_plain")->SetVisible(false);
    EXPECT_FALSE(ui.click("btn_plain"));
    EXPECT_EQ(window.notesOf("click").size(), 1u);
}

TEST_F(ControlsTest, ToggleOptionClicksThenChangesSelection)
{
    auto* option = window.find<COptionUI>("opt_toggle");
    ASSERT_TRUE(ui.click("opt_toggle"));
    EXPECT_TRUE(option->IsSelected());
    ASSERT_TRUE(ui.click("opt_toggle"));
    EXPECT_FALSE(option->IsSelected());
    EXPECT_EQ(window.notes, (std::vector<Note>{{"click", "opt_toggle", 0, 0},
                                               {"selectchanged", "opt_toggle", 0, 0},
                                               {"click", "opt_toggle", 0, 0},
                                               {"selectchanged", "opt_toggle", 0, 0}}));
}

TEST_F(ControlsTest, GroupedOptionsAreExclusiveAndTheUnselectedOneNotifiesFirst)
{
    auto* a = window.find<COptionUI>("tab_a");
    auto* b = window.find<COptionUI>("tab_b");
    ASSERT_TRUE(a->IsSelected());
    ASSERT_TRUE(ui.click("tab_b"));
    EXPECT_FALSE(a->IsSelected());
    EXPECT_TRUE(b->IsSelected());
    EXPECT_EQ(window.notes,
              (std::vector<Note>{
                  {"click", "tab_b", 0, 0}, {"selectchanged", "tab_a", 0, 0}, {"selectchanged", "tab_b", 0, 0}}));

    // Clicking the selected one keeps it selected.
    window.notes.clear();
    ASSERT_TRUE(ui.click("tab_b"));
    EXPECT_TRUE(b->IsSelected());
    EXPECT_EQ(window.notes, (std::vector<Note>{{"click", "tab_b", 0, 0}}));

    // From code without events: still exclusive, nothing sent.
    window.notes.clear();
    window.find<COptionUI>("tab_c")->Selected(true, false);
    EXPECT_FALSE(b->IsSelected());
    EXPECT_TRUE(window.notes.empty());
}

TEST_F(ControlsTest, CheckBoxAndRadioKindsToggle)
{
    auto* check = window.find<CCheckBoxUI>("chk_box");
    ASSERT_TRUE(ui.click("chk_box"));
    EXPECT_TRUE(check->GetCheck());
    ASSERT_TRUE(ui.click("opt_radio"));
    EXPECT_TRUE(window.find<COptionUI>("opt_radio")->IsSelected());
    EXPECT_EQ(window.notesOf("selectchanged"),
              (std::vector<Note>{{"selectchanged", "chk_box", 0, 0}, {"selectchanged", "opt_radio", 0, 0}}));
}

TEST_F(ControlsTest, SliderDragReportsMovesThenTheFinalValue)
{
    auto* slider = window.find<CSliderUI>("slider");
    ASSERT_TRUE(ui.moveSlider("slider", {50, 60, 70}));
    EXPECT_EQ(slider->GetValue(), 70);
    EXPECT_EQ(window.notes, (std::vector<Note>{{"movevaluechanged", "slider", 0, 0},
                                               {"movevaluechanged", "slider", 0, 0},
                                               {"movevaluechanged", "slider", 0, 0},
                                               {"valuechanged", "slider", 0, 0}}));

    window.notes.clear();
    ASSERT_TRUE(ui.clickSliderTrack("slider", true));
    EXPECT_EQ(slider->GetValue(), 80);
    EXPECT_EQ(window.notes, (std::vector<Note>{{"valuechanged", "slider", 0, 0}}));

    // Changes from code are silent and kept inside the range.
    window.notes.clear();
    slider->SetMaxValue(60);
    EXPECT_EQ(slider->GetValue(), 60);
    slider->SetMinValue(10);
    slider->SetValue(-5);
    EXPECT_EQ(slider->GetValue(), 10);
    EXPECT_TRUE(window.notes.empty());
}

TEST_F(ControlsTest, ComboSelectionByUserAndFromCode)
{
    auto* combo = window.find<CComboUI>("combo");
    ASSERT_EQ(combo->GetCount(), 3);
    EXPECT_EQ(combo->GetItemAt(1)->GetText(), "Auto") << "entry marked as resource text";
    EXPECT_EQ(combo->GetItemAt(2)->GetUserData(), "u2");

    ASSERT_TRUE(combo->SelectItem(0));
    ASSERT_TRUE(ui.selectComboIndex("combo", 2));
    EXPECT_EQ(combo->GetCurSel(), 2);
    EXPECT_EQ(combo->GetText(), "60Hz");
    ASSERT_TRUE(ui.selectComboIndex("combo", 2)); // the same entry again
    EXPECT_EQ(window.notes,
              (std::vector<Note>{{"itemselect", "combo", 0, static_cast<LPARAM>(-1)}, {"itemselect", "combo", 2, 0}}));

    window.notes.clear();
    EXPECT_FALSE(combo->SelectItem(3));
    EXPECT_FALSE(ui.selectComboIndex("combo", 5));
    combo->RemoveAll();
    EXPECT_EQ(combo->GetCurSel(), -1);
    EXPECT_TRUE(window.notes.empty()) << "clearing is silent";

    combo->AddString("first", "1");
    combo->AddString("STR_AUTO", "2", true);
    ASSERT_TRUE(combo->SelectItem(1, false, true));
    EXPECT_EQ(combo->GetText(), "Auto");
    EXPECT_EQ(window.notes, (std::vector<Note>{{"itemselect", "combo", 1, static_cast<LPARAM>(-1)}}));
    window.notes.clear();
    combo->SelectItem(0, false, false);
    EXPECT_TRUE(window.notes.empty());
    EXPECT_EQ(combo->GetCurSel(), 0);
}

TEST_F(ControlsTest, ComboDropDownDrawsItsEntriesInTheCombosColours)
{
    auto* combo = window.find<CComboUI>("combo");
    // A dark skin's combo: light text on dark grey.
    combo->SetAttribute("bkcolor", "#FF2E3742");
    combo->SetAttribute("textcolor", "#FFE6EAEE");
    combo->SetAttribute("bordercolor", "#FF46525F");
    combo->SetAttribute("bordersize", "1");
    ASSERT_TRUE(combo->SelectItem(2, false, false));
    auto* box = qobject_cast<QComboBox*>(combo->GetWidget());
    ASSERT_NE(box, nullptr);
    box->showPopup();
    Driver::processEvents();
    QAbstractItemView* view = box->view();
    const QImage picture = view->viewport()->grab().toImage();
    const qreal ratio = picture.devicePixelRatio();
    // An entry that is not the selected one: its background and its text.
    const QRect entry = view->visualRect(box->model()->index(0, 0)) & view->viewport()->rect();
    ASSERT_FALSE(entry.isEmpty());
    std::map<QRgb, int> counts;
    QColor brightest(Qt::black);
    for (int y = entry.top(); y <= entry.bottom(); ++y)
        for (int x = entry.left(); x <= entry.right(); ++x) {
            const QColor c = picture.pixelColor(int(x * ratio), int(y * ratio));
            ++counts[c.rgb()];
            if (c.lightness() > brightest.lightness())
                brightest = c;
        }
    const QColor background(
        std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; })->first);
    EXPECT_EQ(background, QColor(0x2E, 0x37, 0x42)) << background.name().toStdString();
    EXPECT_GT(brightest.lightness(), 200) << "the entry's text is light: " << brightest.name().toStdString();
    box->hidePopup();
    Driver::processEvents();
}

TEST_F(ControlsTest, EditReportsEveryUserEditAndKeepsItsLimit)
{
    auto* edit = window.find<CEditUI>("edit_name");
    ASSERT_TRUE(ui.typeText("edit_name", "abc"));
    EXPECT_EQ(edit->GetText(), "abc");
    EXPECT_EQ(window.notesOf("textchanged").size(), 3u);
    EXPECT_EQ(window.notesOf("textchanged")[0].sender, "edit_name");

    ASSERT_TRUE(ui.typeText("edit_name", "defghijk"));
    EXPECT_EQ(edit->GetText(), "abcdefgh") << "maxchar 8";
    ASSERT_TRUE(ui.clearText("edit_name"));
    EXPECT_EQ(edit->GetText(), "");

    window.notes.clear();
    edit->SetText("12345");
    EXPECT_EQ(edit->GetText(), "12345");
    EXPECT_TRUE(window.notes.empty());

    ASSERT_TRUE(ui.typeText("edit_readonly", "xyz"));
    EXPECT_EQ(window.find<CEditUI>("edit_readonly")->GetText(), "fixed");
    EXPECT_TRUE(window.notesOf("textchanged").empty());
}

TEST_F(ControlsTest, TextLinksReportTheirNumber)
{
    ASSERT_TRUE(ui.clickLink("text_links", 1));
    ASSERT_TRUE(ui.clickLink("text_links", 0));
    EXPECT_FALSE(ui.clickLink("text_links", 2));
    EXPECT_EQ(window.notes, (std::vector<Note>{{"link", "text_links", 1, 0}, {"link", "text_links", 0, 0}}));

    // Markup only comes from the braces; angle brackets are text.
    EXPECT_EQ(CTextUI::MarkupToHtml("a<b>{b}c{/b}{n}", 0xFF000000), "a&lt;b&gt;<b>c</b><br>");
}

TEST_F(ControlsTest, TabLayoutShowsOnePage)
{
    auto* tabs = window.find<CTabLayoutUI>("tabs");
    EXPECT_EQ(tabs->GetCurSel(), 0);
    ASSERT_TRUE(tabs->SelectItem(2));
    Driver::processEvents();
    EXPECT_TRUE(ui.isShown("page_c"));
    EXPECT_FALSE(ui.isShown("page_a"));
    EXPECT_FALSE(tabs->SelectItem(3)) << "no such page";
    EXPECT_EQ(tabs->GetCurSel(), 2);
}

class CellTexts : public IListCallbackUI {
public:
    LPCTSTR GetItemText(CControlUI*, int row, int column) override
    {
        ++calls;
        text = std::to_string(row) + ":" + std::to_string(column);
        return text.c_str();
    }
    std::string text;
    int calls = 0;
};

TEST_F(ControlsTest, TextListAsksTheCallbackAndSelectsRows)
{
    auto* list = window.find<CListUI>("list_text");
    CellTexts texts;
    list->SetTextCallback(&texts);
    EXPECT_EQ(list->GetColumnCount(), 3);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(list->Add(new CListTextElementUI));
    CLabelUI stray;
    EXPECT_FALSE(list->Add(&stray)) << "only list rows";
    EXPECT_EQ(ui.listCellText("list_text", 2, 1), "2:1");

    ASSERT_TRUE(ui.selectListRow("list_text", 1));
    EXPECT_EQ(list->GetCurSel(), 1);
    EXPECT_EQ(window.notes, (std::vector<Note>{{"setfocus", "list_text", 0, 0},
                                               {"itemselect", "list_text", 1, static_cast<LPARAM>(-1)}}));

    ASSERT_TRUE(list->RemoveAt(0));
    EXPECT_EQ(list->GetCurSel(), 0) << "the selection follows its row";
    EXPECT_EQ(ui.listCellText("list_text", 1, 0), "1:0") << "rows are renumbered";
    list->EnsureVisible(1);
    list->RemoveAll();
    EXPECT_EQ(list->GetCount(), 0);
    EXPECT_EQ(list->GetCurSel(), -1);
    list->SetTextCallback(nullptr);
}

TEST_F(ControlsTest, TextListHeaderScrollsSidewaysWithItsColumnsAndRowsComeIntoViewOnlyVertically)
{
    auto* list = window.find<CListUI>("list_text");
    CellTexts texts;
    list->SetTextCallback(&texts);
    list->AddColumn("Wide", 600); // wider than the list: it scrolls sideways
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(list->Add(new CListTextElementUI));
    Driver::processEvents();
    QWidget* box = list->GetWidget();
    auto* header = box->findChild<QWidget*>("listHeader");
    auto* scroll = box->findChild<QScrollArea*>();
    ASSERT_TRUE(header && scroll);
    QScrollBar* sideways = scroll->horizontalScrollBar();
    ASSERT_GT(sideways->maximum(), 100);

    // Header labels and cells start at the same x, at every sideways position.
    auto expectAligned = [&](int row, const char* when) {
        QWidget* cells = list->GetItemAt(row)->GetWidget();
        int offset = 0;
        for (int c = 0; c < list->GetColumnCount(); ++c) {
            QWidget* label = header->layout()->itemAt(c)->widget();
            EXPECT_EQ(label->width(), list->GetColumnWidth(c)) << when << ", column " << c;
            EXPECT_EQ(label->mapTo(box, QPoint(0, 0)).x(), cells->mapTo(box, QPoint(offset, 0)).x())
                << when << ", column " << c;
            offset += list->GetColumnWidth(c);
        }
    };
    expectAligned(0, "unscrolled");
    sideways->setValue(100);
    Driver::processEvents();
    expectAligned(0, "scrolled sideways");

    // Bringing a row into view keeps the sideways position (the first columns
    // stay where the user put them).
    list->EnsureVisible(39);
    Driver::processEvents();
    EXPECT_EQ(sideways->value(), 100);
    EXPECT_GT(scroll->verticalScrollBar()->value(), 0);
    expectAligned(39, "last row brought into view");
    list->RemoveAll();
    list->SetTextCallback(nullptr);
}

TEST_F(ControlsTest, RowsBuiltFromALayoutCarryTheirControls)
{
    auto* list = window.find<CListUI>("list_rows");
    CDialogBuilder builder;
    for (int i = 0; i < 2; ++i) {
        CControlUI* row = builder.Create("xmls/listrow_test.xml", nullptr, &window.pm());
        ASSERT_NE(row, nullptr) << builder.GetLastError();
        ASSERT_TRUE(list->Add(row));
        auto* text = dynamic_cast<CTextUI*>(row->FindSubControl("row_name"));
        ASSERT_NE(text, nullptr);
        text->SetText("{a}camera " + std::to_string(i) + "{/a}");
        text->SetTag(0x100u + static_cast<UINT_PTR>(i));
    }
    Driver::processEvents();
    // A link inside a row reports from the text control, which carries the tag.
    ASSERT_TRUE(ui.clickLink("row_name"));
    EXPECT_EQ(window.notes, (std::vector<Note>{{"link", "row_name", 0, 0}}));
    EXPECT_EQ(window.pm().FindControl("row_name")->GetTag(), 0x100u);

    ASSERT_TRUE(ui.selectListRow("list_rows", 1));
    auto* second = dynamic_cast<CListContainerElementUI*>(list->GetItemAt(1));
    EXPECT_EQ(second->GetIndex(), 1);
    EXPECT_TRUE(second->IsSelected());
    EXPECT_EQ(window.notes.back(), (Note{"itemselect", "list_rows", 1, static_cast<LPARAM>(-1)}));
}

TEST_F(ControlsTest, RightAlignedLabelTooNarrowKeepsTheStartOfItsTextAndEndsInAnEllipsis)
{
    auto* label = window.find<CLabelUI>("label_plain");
    label->SetAttribute("align", "right");
    label->SetAttribute("endellipsis", "true");
    const std::string text = "Time-lapse: 21 frames in 0:04, until stopped";
    label->SetText(text);
    Driver::processEvents();
    const QString shown = qobject_cast<QLabel*>(label->GetWidget())->text();
    EXPECT_TRUE(shown.startsWith("Time")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_EQ(label->GetText(), text) << "the control keeps the whole text";

    label->SetText("ok");
    Driver::processEvents();
    EXPECT_EQ(qobject_cast<QLabel*>(label->GetWidget())->text(), "ok");

    // Text with links is shown whole, also when asked to elide and resized.
    auto* links = window.find<CTextUI>("text_links");
    links->SetAttribute("endellipsis", "true");
    links->SetText("{a}Camera{/a}");
    links->GetWidget()->resize(links->GetWidget()->width() + 10, links->GetWidget()->height());
    Driver::processEvents();
    EXPECT_TRUE(qobject_cast<QLabel*>(links->GetWidget())->text().contains("Camera"));
}

TEST_F(ControlsTest, DpiScalesFixedSizes)
{
    CControlUI* close = window.pm().FindControl("closebtn");
    EXPECT_EQ(close->GetWidth(), 30);
    window.pm().SetDPI(192);
    Driver::processEvents();
    EXPECT_EQ(close->GetWidth(), 60);
    RECT rc;
    ASSERT_TRUE(window.GetWindowRect(rc));
    EXPECT_EQ(rc.right - rc.left, 1280);
}

} // namespace
