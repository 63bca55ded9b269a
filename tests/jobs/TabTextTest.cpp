#include "jobs/TabText.h"

#include <gtest/gtest.h>

#include <string_view>
#include <utility>
#include <variant>

namespace ravolen {
namespace {

using Rows = std::vector<RenderJob>;
using Pasted = std::variant<Rows, JobListFault>;

RenderJob Row(std::wstring_view first, std::wstring_view second = L"b") {
    return {std::wstring(first), std::wstring(second), L"c", L"d", L"e", L"f"};
}

// Each cell as it is copied, and pasted back from that text; Excel quotes exactly these.
TEST(TabText, ACellIsQuotedAsExcelQuotesItAndReadsBackExactly) {
    const std::pair<std::wstring_view, std::wstring_view> cells[] = {
        {L"plain", L"plain"},
        {L"", L""},
        {L"0012", L"0012"},
        {L"  640 ", L"  640 "},
        {L"x,y", L"x,y"},
        {L"a\"b", L"\"a\"\"b\""},
        {L"\"", L"\"\"\"\""},
        {L"a\tb", L"\"a\tb\""},
        {L"a\r\nb", L"\"a\r\nb\""},
        {L"a\nb", L"\"a\nb\""},
        {L"\r", L"\"\r\""},
        {L"\"\t\"", L"\"\"\"\t\"\"\""},
    };
    for (const auto& [cell, field] : cells) {
        const Rows rows{Row(cell, cell)};
        const std::wstring text = RowsAsTabText(rows);
        EXPECT_EQ(text, std::wstring(field) + L"\t" + std::wstring(field) + L"\tc\td\te\tf\r\n")
            << testing::PrintToString(std::wstring(cell));
        EXPECT_EQ(RowsFromText(text), Pasted(rows)) << testing::PrintToString(std::wstring(cell));
    }
    // Nine cells once any row uses the optional columns; every row then carries them.
    RenderJob framed = Row(L"a");
    framed.frames = L"1,3,5-12";
    const Rows rows{Row(L"E:\\场景\\a.max"), framed};
    EXPECT_EQ(RowsAsTabText(rows), L"E:\\场景\\a.max\tb\tc\td\te\tf\t默认\t默认\t默认\r\n"
                                   L"a\tb\tc\td\te\tf\t1,3,5-12\t默认\t默认\r\n");
    EXPECT_EQ(RowsFromText(RowsAsTabText(rows)), Pasted(rows));
    EXPECT_EQ(RowsAsTabText(Rows{}), L"");
}

TEST(TabText, TextCopiedFromSpreadsheetsAndJobListsPastesAsRows) {
    const std::wstring captions = L"Max文件\t相机\t出图路径\t出图文件名\t长\t宽";
    RenderJob nine = Row(L"a");
    nine.sceneState = L"夜景";
    Rows awkward{Row(L"E:\\a.max", L"\tCam\t"), Row(L"x,\"y\"", L"a\r\nb")};
    std::string list = SaveJobList(awkward);
    const std::pair<std::wstring, Pasted> cases[] = {
        // Excel's: captions skipped, quoted cells holding tabs and line breaks, no trimming.
        {captions + L"\r\nE:\\a.max\t0012\t\"F:\\o\tx\"\t\"a\nb.tga\"\t0800\t 640\r\n",
         Rows{{L"E:\\a.max", L"0012", L"F:\\o\tx", L"a\nb.tga", L"0800", L" 640"}}},
        // LF and CR line ends, no line end after the last row.
        {L"a\tb\tc\td\te\tf\nz\tb\tc\td\te\tf", Rows{Row(L"a"), Row(L"z")}},
        {L"a\tb\tc\td\te\tf\rz\tb\tc\td\te\tf\r", Rows{Row(L"a"), Row(L"z")}},
        // Lines with nothing on them are no rows; a line of empty cells is one.
        {L"\r\na\tb\tc\td\te\tf\r\n\r\n\t\t\t\t\t\r\n\r\n", Rows{Row(L"a"), {L"", L"", L"", L"", L"", L""}}},
        {L"\n\n", Rows{}},
        {L"", Rows{}},
        // After the closing quote, up to the tab, as Excel reads it; quotes inside a cell as they stand;
        // a quote nothing closes is the cell's.
        {L"\"a\"b\"c\tb\tc\td\te\tf\r\n", Rows{Row(L"ab\"c")}},
        {L"a\"b\"\tb\tc\td\te\tf\r\n", Rows{Row(L"a\"b\"")}},
        {L"a\tb\tc\td\te\t\"f", Rows{{L"a", L"b", L"c", L"d", L"e", L"\"f"}}},
        // Nine: its captions skipped, its three cells kept.
        {captions + L"\t帧\t场景状态\t渲染预设\r\na\tb\tc\td\te\tf\t默认\t夜景\t默认\r\n", Rows{nine}},
        // Not rows: the line where the wrong row starts, counted as the text's lines.
        {L"a\tb\tc\td\te\tf\r\na\tb\r\n", JobListFault{2, L"有2列，应为6列"}},
        {L"a\t\"x\r\ny\ny\"\tc\td\te\tf\ra\tb\r\n", JobListFault{4, L"有2列，应为6列"}},
        {L"a\tb\tc\td\te\tf\tg\r\n", JobListFault{1, L"有7列，应为6列"}},
        {L"a\tb\tc\td\te\tf\t1\t2\t3\r\na\tb\tc\td\te\tf\r\n", JobListFault{2, L"有6列，应为9列"}},
        // A job list's CSV text, also one whose cells hold tabs, with or without its byte-order mark.
        {*Utf8Text(list), Pasted(awkward)},
        {*Utf8Text(list.substr(3)), Pasted(awkward)},
        {L"Max文件,相机,出图路径,出图文件名,长,宽\r\na,b,c\r\n", JobListFault{2, L"有3列，应为6列"}},
        {L"0012", JobListFault{1, L"有1列，应为6列"}},
    };
    for (const auto& [text, pasted] : cases) {
        EXPECT_EQ(RowsFromText(text), pasted) << testing::PrintToString(text);
    }
    EXPECT_EQ(PastedTextFaultMessage({2, L"有2列，应为6列"}), L"无法读取任务列表：剪贴板（第2行）有2列，应为6列");
}

}  // namespace
}  // namespace ravolen
