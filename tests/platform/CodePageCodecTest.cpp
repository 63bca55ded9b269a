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

TEST(CodePageCodec, WorksForOtherCodePagesIncludingThoseWithoutBestFit) {
    EXPECT_EQ(CodePageCodec(437).encode(L"caf\u00e9"), "caf\x82");
    EXPECT_FALSE(CodePageCodec(437).encode(L"中"));
    EXPECT_EQ(CodePageCodec(437).encodeLossy(L"a中"), "a?");
    EXPECT_EQ(CodePageCodec(1252).encode(L"\u00a6"), "\xa6");
    // UTF-8 refuses the no-best-fit flag; every character still has an exact form.
    EXPECT_EQ(CodePageCodec(CP_UTF8).encode(L"中"), "\xe4\xb8\xad");
    EXPECT_FALSE(CodePageCodec(CP_UTF8).encode(std::wstring(1, static_cast<wchar_t>(0xDC00))));
}

}  // namespace
}  // namespace ravolen
