#include "jobs/JobListFile.h"

#include <gtest/gtest.h>

#include <string_view>
#include <utility>
#include <variant>

namespace ravolen {
namespace {

using Rows = std::vector<RenderJob>;

const Rows Awkward = {
    {L"E:\\场景, 最终\\lobby.max", L"默认", L"F:\\out \"final\"", L"a\r\nb.tga", L"默认", L"默认"},
    {L"  both ends  ", L"\tCam\t", L"", L"x,y", L"1920", L"=1+1"},
    {L"\"", L"\"\"", L",", L"\n", L"\r", L"渲染"},
};

TEST(JobListFile, AListComesBackExactlyAndItsFileByteForByte) {
    const std::string file = SaveJobList(Awkward);
    EXPECT_TRUE(file.starts_with("\xEF\xBB\xBF" "Max\xE6\x96\x87\xE4\xBB\xB6,"));
    EXPECT_TRUE(file.ends_with("\r\n"));
    const auto opened = OpenJobList(file);
    ASSERT_TRUE(std::holds_alternative<Rows>(opened));
    EXPECT_EQ(std::get<Rows>(opened), Awkward);
    EXPECT_EQ(SaveJobList(std::get<Rows>(opened)), file);
    EXPECT_EQ(std::get<Rows>(OpenJobList(SaveJobList({}))), Rows{});
}

// A cell is quoted when a spreadsheet would otherwise split it, break its line or trim its
// blanks; otherwise it stands as typed.
TEST(JobListFile, ACellIsQuotedExactlyWhenItWouldNotReadBackAsItStands) {
    const std::pair<std::wstring_view, std::string_view> cells[] = {
        {L"plain", "plain"},
        {L"", ""},
        {L"a b", "a b"},
        {L"渲染", "\xE6\xB8\xB2\xE6\x9F\x93"},
        {L" lead", "\" lead\""},
        {L"trail ", "\"trail \""},
        {L"\tlead", "\"\tlead\""},
        {L"trail\t", "\"trail\t\""},
        {L" ", "\" \""},
        {L"x,y", "\"x,y\""},
        {L"say \"hi\"", "\"say \"\"hi\"\"\""},
        {L"a\r\nb", "\"a\r\nb\""},
        {L"\n", "\"\n\""},
        {L"=1+1", "=1+1"},
    };
    for (const auto& [cell, field] : cells) {
        const RenderJob job{std::wstring(cell), L"b", L"c", L"d", L"e", L"f"};
        const std::string file = SaveJobList(std::vector<RenderJob>{job});
        const std::string line = file.substr(file.find("\r\n") + 2);
        EXPECT_EQ(line, std::string(field) + ",b,c,d,e,f\r\n") << testing::PrintToString(std::wstring(cell));
    }
}

// Only well-formed UTF-8 is text: no overlong form, surrogate or code point past U+10FFFF.
TEST(JobListFile, OnlyWellFormedUtf8IsText) {
    const std::pair<std::string_view, std::variant<std::wstring, std::size_t>> cases[] = {
        {"a\xC2\xA2", L"a\u00A2"},
        {"\xE0\xA0\x80", L"\u0800"},
        {"\xF0\x9D\x84\x9E", L"\xD834\xDD1E"},  // as UTF-16, as on Windows
        {"\xF4\x8F\xBF\xBF", L"\xDBFF\xDFFF"},
        {"a\xC0\xA2", std::size_t{1}},
        {"\xC1\xBF", std::size_t{0}},
        {"ab\xE0\x80\xA2", std::size_t{2}},
        {"\xF0\x80\x80\xA2", std::size_t{0}},
        {"\xED\xA0\x80", std::size_t{0}},
        {"\xF4\x90\x80\x80", std::size_t{0}},
        {"\xE6\xB8", std::size_t{0}},
        {"\x80", std::size_t{0}},
    };
    for (const auto& [bytes, decoded] : cases) {
        EXPECT_EQ(DecodeUtf8(bytes), decoded) << testing::PrintToString(std::string(bytes));
    }
    EXPECT_EQ(OpenJobList("Max文件,相机,出图路径,出图文件名,长,宽\r\na,b,c,d,e,f\r\n\xE0\x80\xA2,b,c,d,e,f\r\n"),
              (std::variant<std::vector<RenderJob>, JobListFault>(JobListFault{3, L"不是UTF-8编码的文本"})));
}

// A table whose optional cells are all 默认 keeps today's six columns; one that uses them writes
// nine, which both formats read back exactly; a six-column file gives 默认 in the three.
TEST(JobListFile, TheOptionalColumnsAreWrittenOnlyWhenUsed) {
    const RenderJob plain{L"E:\\a.max", L"默认", L"F:\\o", L"a.tga", L"默认", L"默认"};
    RenderJob framed = plain;
    framed.frames = L"1,3,5-12";
    framed.sceneState = L"夜景";
    const std::string six = "\xEF\xBB\xBF" "Max文件,相机,出图路径,出图文件名,长,宽\r\nE:\\a.max,默认,F:\\o,a.tga,默认,默认\r\n";
    EXPECT_EQ(SaveJobList(Rows{plain}), six);
    EXPECT_EQ(SaveJobList(Rows{plain, framed}),
              "\xEF\xBB\xBF" "Max文件,相机,出图路径,出图文件名,长,宽,帧,场景状态,渲染预设\r\n"
              "E:\\a.max,默认,F:\\o,a.tga,默认,默认,默认,默认,默认\r\n"
              "E:\\a.max,默认,F:\\o,a.tga,默认,默认,\"1,3,5-12\",夜景,默认\r\n");
    EXPECT_EQ(OpenJobList(SaveJobList(Rows{plain, framed})), (std::variant<Rows, JobListFault>(Rows{plain, framed})));
    EXPECT_EQ(OpenJobList(six), (std::variant<Rows, JobListFault>(Rows{plain})));
    EXPECT_EQ(OpenJobList("Max文件,相机,出图路径,出图文件名,长,宽,帧,场景状态,渲染预设\r\na,b,c,d,e,f\r\n"),
              (std::variant<Rows, JobListFault>(JobListFault{2, L"有6列，应为9列"})));
    EXPECT_EQ(OpenJobList("Max文件,相机,出图路径,出图文件名,长,宽,帧,场景,渲染预设\r\n"),
              (std::variant<Rows, JobListFault>(JobListFault{1, L"不是任务列表的标题行"})));
}

TEST(JobListFile, AFileThatIsNotAListSaysWhereAndWhy) {
    const std::string header = "Max文件,相机,出图路径,出图文件名,长,宽\r\n";
    const auto fault = [](std::string_view bytes) {
        const auto opened = OpenJobList(bytes);
        return std::holds_alternative<JobListFault>(opened) ? std::get<JobListFault>(opened)
                                                           : JobListFault{0, L""};
    };
    EXPECT_EQ(fault(header + "a,b,c,d,e,f\r\na,b,c\r\n").line, 3);
    EXPECT_EQ(fault(header + "a,b,c,d,e,f\r\na,b,c\r\n").reason, L"有3列，应为6列");
    EXPECT_EQ(fault(header + "a,\"b,c,d,e,f\r\n").line, 2);  // a quote never closed
    EXPECT_EQ(fault(header + "a,\"b\"x,c,d,e,f\r\n").line, 2);
    EXPECT_EQ(fault(header + "a,b\"c,c,d,e,f\r\n").line, 2);
    EXPECT_EQ(fault(header + "\r\n" + "a,b,c,d,e,f\r\n").line, 2);
    EXPECT_EQ(fault(header + "a,b,c,d,e,\xB3\xA1\r\n"), (JobListFault{2, L"不是UTF-8编码的文本"}));
    EXPECT_EQ(fault(std::string("\x89PNG\r\n\x1A\n\0\0", 10)).reason, L"不是文本文件");
    EXPECT_EQ(fault("scene,camera,a,b,c,d\r\n").reason, L"不是任务列表的标题行");
    EXPECT_EQ(fault("").line, 1);
    EXPECT_EQ(JobListFaultMessage(L"D:\\a.csv", {3, L"有3列，应为6列"}),
              L"无法读取任务列表：D:\\a.csv（第3行）有3列，应为6列");
    // Without the byte-order mark, as some editors save it, and with LF ends.
    EXPECT_TRUE(std::holds_alternative<Rows>(OpenJobList("Max文件,相机,出图路径,出图文件名,长,宽\na,b,c,d,e,f")));
}

}  // namespace
}  // namespace ravolen
