#include "render/NightLog.h"

#include <gtest/gtest.h>

#include "support/TestCodec.h"

namespace ravolen {
namespace {

using test::Cp936;
using Lines = std::vector<std::wstring>;

std::string Gbk(std::wstring_view text) { return Cp936().encode(text).value(); }

std::string Utf16(std::wstring_view text) {
    std::string bytes;
    for (wchar_t c : text) {
        bytes += static_cast<char>(static_cast<unsigned>(c) & 0xFF);
        bytes += static_cast<char>((static_cast<unsigned>(c) >> 8) & 0xFF);
    }
    return bytes;
}

// A night as cmd and two renderers write it: cmd echoes each job line in the code page, one
// renderer prints the code page, the other UTF-16 with its byte-order mark.
const std::string Night =
    Gbk(L"\r\nD:\\Ravolen\\bat>\"C:\\Max\\3dsmaxcmd.exe\" \"E:\\场景\\a.max\" -continueOnError \r\n") +
    Gbk(L"渲染完成：a.tga\r\n") +
    Gbk(L"\r\nD:\\Ravolen\\bat>\"C:\\Max\\3dsmaxcmd.exe\" \"E:\\场景\\b.max\" -continueOnError \r\n") +
    Utf16(L"\xFEFF" L"Error: missing map 上.png\r\n") +  // 上 is 0A 4E: a line feed byte inside
    Utf16(L"上一\r\n") +                                 // starts with it, and holds no NUL before
    Utf16(L"\r\n") + Utf16(L"Plugin Ω not found\r\n") +
    Gbk(L"\r\nD:\\Ravolen\\bat>\r\n");

const Lines NightLines = {
    L"",
    L"D:\\Ravolen\\bat>\"C:\\Max\\3dsmaxcmd.exe\" \"E:\\场景\\a.max\" -continueOnError ",
    L"渲染完成：a.tga",
    L"",
    L"D:\\Ravolen\\bat>\"C:\\Max\\3dsmaxcmd.exe\" \"E:\\场景\\b.max\" -continueOnError ",
    L"Error: missing map 上.png",
    L"上一",
    L"",
    L"Plugin Ω not found",
    L"",
    L"D:\\Ravolen\\bat>",
};

TEST(NightLog, EachLineReadsInTheEncodingItWasWrittenIn) {
    EXPECT_EQ(DecodeLogLine(Gbk(L"缺少贴图 map.png\r\n"), Cp936()), L"缺少贴图 map.png");
    EXPECT_EQ(DecodeLogLine(Utf16(L"缺少贴图 map.png\r\n"), Cp936()), L"缺少贴图 map.png");
    EXPECT_EQ(DecodeLogLine(Utf16(L"\xFEFF" L"缺少贴图"), Cp936()), L"缺少贴图");
    EXPECT_EQ(DecodeLogLine("plain", Cp936()), L"plain");
    EXPECT_EQ(DecodeLogLine("", Cp936()), L"");
    // A byte the code page lacks still shows, as a stand-in character.
    EXPECT_EQ(DecodeLogLine("a\xFF" "b\r\n", Cp936()).size(), 3u);
}

TEST(NightLog, AMixedLogSplitsIntoItsLinesWhetherReadWholeOrAsItGrows) {
    EXPECT_EQ(DecodeLog(Night, Cp936()), NightLines);

    // Followed byte by byte, as a window follows the file while the render runs: no line is cut
    // early, and the unfinished last one waits.
    LogReader reader(Cp936());
    Lines lines;
    for (char byte : Night) reader.add(std::string_view(&byte, 1), lines);
    EXPECT_EQ(lines, NightLines);
    reader.add(Gbk(L"渲染中"), lines);
    reader.add(Utf16(L"x").substr(0, 1), lines);
    EXPECT_EQ(lines.size(), NightLines.size());
    reader.finish(lines);
    EXPECT_EQ(lines.back(), L"渲染中x");

    // Line feeds without carriage returns, and a log cut off in the middle of a character.
    EXPECT_EQ(DecodeLog("a\nb\r\nc\n", Cp936()), (Lines{L"a", L"b", L"c"}));
    EXPECT_EQ(DecodeLog(Utf16(L"a\nb") + "\x62", Cp936()), (Lines{L"a", L"b"}));
    EXPECT_EQ(DecodeLog("", Cp936()), Lines{});
}

}  // namespace
}  // namespace ravolen
