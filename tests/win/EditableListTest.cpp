#include "win/EditableList.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "support/TestForm.h"
#include "support/WindowTest.h"
#include "win/Layout.h"
#include "win/ListView.h"

namespace ravolen {
namespace {

using win::ControlKind;

const win::ControlSpec Layout[] = {
    {.kind = ControlKind::ListView, .id = 10, .name = L"List", .left = 0, .top = 0,
     .width = 6000, .height = 3000, .tabIndex = 0, .style = LVS_EDITLABELS},
    {.kind = ControlKind::TextBox, .id = 11, .name = L"Editor", .left = 600, .top = 3200,
     .width = 1200, .height = 400, .tabIndex = 1, .caption = L"stale text"},
};

ListError::Kind KindOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const ListError& error) {
        return error.kind();
    }
    ADD_FAILURE() << "no ListError raised";
    return ListError::Kind::ControlRefused;
}

class EditableListTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(form.create(Layout));
        editable.bindList(listView());
        editable.bindEditor(form.control(L"Editor"));
    }

    HWND listView() const { return form.control(L"List"); }
    win::ListView rows() const { return win::ListView(listView()); }
    int px(double twips) const { return win::TwipsToPixels(twips, form.dpi()); }
    int columnWidth(int position) const {
        return static_cast<int>(SendMessageW(listView(), LVM_GETCOLUMNWIDTH, position - 1, 0));
    }
    void addSixColumns() {
        const wchar_t* keys[] = {L"a", L"b", L"c", L"d", L"e", L"f"};
        for (const wchar_t* key : keys) editable.addColumn(key, key, 600, false, true, 0, true);
    }
    std::vector<std::wstring> row(int position) const {
        std::vector<std::wstring> cells;
        for (int column = 1; column <= rows().columnCount(); ++column) {
            cells.push_back(rows().cell(position, column));
        }
        return cells;
    }

    test::TestForm form;
    EditableList editable;
};

TEST_F(EditableListTest, BindingSetsUpTheListAndHidesAnEmptyBorderlessWhiteEditor) {
    const LONG_PTR style = GetWindowLongPtrW(listView(), GWL_STYLE);
    EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_FALSE(style & LVS_EDITLABELS);
    EXPECT_TRUE(style & LVS_SHOWSELALWAYS);
    const auto extended = ListView_GetExtendedListViewStyle(listView());
    EXPECT_TRUE(extended & LVS_EX_FULLROWSELECT);
    EXPECT_TRUE(extended & LVS_EX_GRIDLINES);
    EXPECT_EQ(editable.list(), listView());

    const HWND editor = form.control(L"Editor");
    EXPECT_FALSE(IsWindowVisible(editor));
    EXPECT_EQ(GetWindowTextLengthW(editor), 0);
    EXPECT_FALSE(GetWindowLongPtrW(editor, GWL_STYLE) & WS_BORDER);
    EXPECT_FALSE(GetWindowLongPtrW(editor, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    const HDC dc = CreateCompatibleDC(nullptr);
    const auto brush = reinterpret_cast<HBRUSH>(SendMessageW(
        form.hwnd(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(editor)));
    EXPECT_EQ(GetBkColor(dc), RGB(255, 255, 255));
    LOGBRUSH painted{};
    GetObjectW(brush, sizeof painted, &painted);
    EXPECT_EQ(painted.lbColor, RGB(255, 255, 255));
    DeleteDC(dc);
}

TEST_F(EditableListTest, ColumnsKeepTheirSettingsAndAKeyIsUsedOnce) {
    editable.addColumn(L"Max文件", L"max", 3800, true, false, 0, true);
    editable.addColumn(L"长", L"length", 600, false, true, 2, false);
    const ColumnSettings* length = editable.column(L"length");
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(length->index(), 2);
    EXPECT_EQ(length->widthTwips(), 600.0);
    EXPECT_EQ(length->align(), 2);
    EXPECT_TRUE(length->edit());
    EXPECT_FALSE(length->grow());
    EXPECT_FALSE(length->show());
    EXPECT_FALSE(length->numeric());
    EXPECT_TRUE(length->pattern().empty());
    EXPECT_EQ(columnWidth(2), px(600));
    LVCOLUMNW header{};
    header.mask = LVCF_FMT;
    SendMessageW(listView(), LVM_GETCOLUMNW, 1, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(header.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_CENTER);

    EXPECT_EQ(KindOf([&] { editable.addColumn(L"again", L"max", 100, false, false, 1, true); }),
              ListError::Kind::DuplicateKey);
    EXPECT_EQ(rows().columnCount(), 2);
    EXPECT_EQ(editable.column(L"max")->widthTwips(), 3800.0);
}

TEST_F(EditableListTest, AddRowFillsTheCellsThatHaveAColumn) {
    addSixColumns();
    using Cells = std::vector<std::wstring>;
    editable.addRow(Cells{L"five", L"1", L"2", L"3", L"4", L"5"});
    editable.addRow(Cells{L"eight", L"1", L"2", L"3", L"4", L"5", L"6", L"7", L"8"});
    editable.addRow(Cells{L"three", L"1", L"2", L"3"});
    editable.addRow(Cells{});
    EXPECT_EQ(row(1), (Cells{L"five", L"1", L"2", L"3", L"4", L"5"}));
    EXPECT_EQ(row(2), (Cells{L"eight", L"1", L"2", L"3", L"4", L"5"}));
    EXPECT_EQ(row(3), (Cells{L"three", L"1", L"2", L"3", L"", L""}));
    EXPECT_EQ(row(4), (Cells{L"", L"", L"", L"", L"", L""}));
}

TEST_F(EditableListTest, RemoveRowTakesOutOneRowAndTheRestMoveUp) {
    addSixColumns();
    for (const wchar_t* text : {L"one", L"two", L"three"}) editable.addRow(std::vector<std::wstring>{text});
    editable.removeRow(1);
    ASSERT_EQ(rows().rowCount(), 2);
    EXPECT_EQ(rows().cell(1, 1), L"two");
    EXPECT_EQ(rows().cell(2, 1), L"three");
    EXPECT_EQ(KindOf([&] { editable.removeRow(5); }), ListError::Kind::NoSuchRow);
}

TEST_F(EditableListTest, ResizeColumnsGivesEveryGrowingColumnTheWholeRemainder) {
    editable.addColumn(L"grow", L"g1", 1000, true, false, 0, true);
    editable.addColumn(L"fixed", L"f1", 1400, false, false, 0, true);
    editable.addColumn(L"fixed", L"f2", 600, false, false, 0, true);
    editable.resizeColumns();
    // 6000 - 1400 - 600 - 330
    EXPECT_EQ(columnWidth(1), px(3670));
    EXPECT_EQ(columnWidth(2), px(1400));

    // A fixed column dragged wider still counts with the width it was created with.
    SendMessageW(listView(), LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(px(3000), 0));
    editable.addColumn(L"grow", L"g2", 500, true, false, 0, true);
    editable.resizeColumns();
    EXPECT_EQ(columnWidth(1), px(3670));
    EXPECT_EQ(columnWidth(4), px(3670));
    EXPECT_EQ(columnWidth(2), px(3000));
}

TEST_F(EditableListTest, ResizeColumnsWithoutAGrowingColumnChangesNothing) {
    editable.addColumn(L"fixed", L"f1", 1400, false, false, 0, true);
    editable.addColumn(L"fixed", L"f2", 600, false, false, 0, true);
    editable.resizeColumns();
    EXPECT_EQ(columnWidth(1), px(1400));
    EXPECT_EQ(columnWidth(2), px(600));
}

TEST(EditableList, EveryMemberNeedsTheListViewBoundFirst) {
    EditableList unbound;
    using Kind = ListError::Kind;
    EXPECT_EQ(KindOf([&] { unbound.removeRow(1); }), Kind::NotBound);
    EXPECT_EQ(KindOf([&] { unbound.addRow(std::vector<std::wstring>{L"x"}); }), Kind::NotBound);
    EXPECT_EQ(KindOf([&] { unbound.addColumn(L"x", L"x", 100, false, false, 0, true); }),
              Kind::NotBound);
    EXPECT_EQ(KindOf([&] { unbound.resizeColumns(); }), Kind::NotBound);
}

}  // namespace
}  // namespace ravolen
