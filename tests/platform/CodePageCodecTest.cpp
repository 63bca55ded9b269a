#include "platform/CodePageCodec.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace ravolen {
namespace {

TEST(CodePageCodec, EncodesChineseExactlyInCodePage936) {
    const CodePageCodec codec(936);
    EXPECT_EQ(codec.encode(L"默认 a\\b.max"), "\xc4\xac\xc8\xcf a\\b.max");
    EXPECT_EQ(codec.encode(L""), "");
    EXPECT_EQ(codec.encode(L"“Ravolen”"), "\xa1\xb0Ravolen\xa1\xb1");
}

TEST(CodePageCodec, RefusesWhatTheCodePageLacksInsteadOfSubstitutingALookAlike) {
    const CodePageCodec codec(936);
    // A best-fit conversion would write '|' for U+00A6, and cmd would start a pipe.
    EXPECT_FALSE(codec.encode(L"a\u00a6b"));
    EXPECT_FALSE(codec.encode(L"\U0001F3AC"));
    EXPECT_FALSE(codec.encode(std::wstring(1, static_cast<wchar_t>(0xD800))));
    EXPECT_EQ(codec.encodeLossy(L"a\u00a6b中"), "a?b\xd6\xd0");
}

// Exact by the system's own test: the bytes read back as the same character.
bool ReadsBack(unsigned codePage, wchar_t c) {
    char bytes[8] = {};
    const int size = WideCharToMultiByte(codePage, 0, &c, 1, bytes, sizeof bytes, nullptr, nullptr);
    wchar_t back[4] = {};
    return size > 0 &&
           MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, size, back, 4) == 1 &&
           back[0] == c;
}

TEST(CodePageCodec, EveryCharacterIsTakenExactlyWhenItReadsBackAndOnlyThen) {
    for (unsigned codePage : {936u, 1252u, 437u}) {
        const CodePageCodec codec(codePage);
        for (unsigned code = 1; code <= 0xFFFF; ++code) {
            if (code >= 0xD800 && code <= 0xDFFF) continue;
            const auto c = static_cast<wchar_t>(code);
            ASSERT_EQ(codec.encode(std::wstring_view(&c, 1)).has_value(), ReadsBack(codePage, c))
                << "code page " << codePage << ", U+" << std::hex << code;
        }
    }
}

TEST(CodePageCodec, WorksForOtherCodePagesIncludingThoseWithoutBestFit) {
    EXPECT_EQ(CodePageCodec(437).encode(L"caf\u00e9"), "caf\x82");
    EXPECT_FALSE(CodePageCodec(437).encode(L"中"));
    EXPECT_EQ(CodePageCodec(437).encodeLossy(L"a中"), "a?");
    EXPECT_EQ(CodePageCodec(1252).encode(L"\u00a6"), "\xa6");
    // UTF-8 refuses the no-best-fit flag; every character still has an exact form.
    EXPECT_EQ(CodePageCodec(CP_UTF8).encode(L"中"), "\xe4\xb8\xad");
    EXPECT_FALSE(CodePageCodec(CP_UTF8).encode(std::wstring(1, static_cast<wchar_t>(0xDC00))));
}

// What another program printed reads back as it meant it; a byte the code page does not define
// still shows as one character, and the text after it is kept.
TEST(CodePageCodec, DecodesWhatAnotherProgramWrote) {
    const CodePageCodec codec(936);
    EXPECT_EQ(codec.decode(codec.encode(L"缺少贴图 map.png：渲染").value()), L"缺少贴图 map.png：渲染");
    EXPECT_EQ(codec.decode(""), L"");
    const std::wstring broken = codec.decode("a\xFF" "b");
    EXPECT_EQ(broken.size(), 3u);
    EXPECT_EQ(broken.back(), L'b');
    EXPECT_EQ(CodePageCodec(437).decode("caf\x82"), L"caf\u00e9");
}

}  // namespace
}  // namespace ravolen
