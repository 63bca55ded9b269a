#include "jobs/FrameList.h"

#include <gtest/gtest.h>

namespace ravolen {
namespace {

using Ranges = std::vector<FrameRange>;

// Each text, what it lists and what -frames: receives; a refused text lists nothing.
TEST(FrameList, ListsIn3dsMaxsFormAreReadAndEveryOtherTextRefused) {
    const struct {
        std::wstring_view text;
        std::optional<Ranges> ranges;
        std::wstring_view argument;
    } cases[] = {
        {L"12", Ranges{{12, 12}}, L"12"},
        {L"0", Ranges{{0, 0}}, L"0"},
        {L"0-100", Ranges{{0, 100}}, L"0-100"},
        {L"1-1", Ranges{{1, 1}}, L"1-1"},
        {L"1,3,5-12", Ranges{{1, 1}, {3, 3}, {5, 12}}, L"1,3,5-12"},
        {L" 1 , 3,\t5 - 12 ", Ranges{{1, 1}, {3, 3}, {5, 12}}, L"1,3,5-12"},
        {L"007", Ranges{{7, 7}}, L"007"},
        {L"20,3,3", Ranges{{20, 20}, {3, 3}, {3, 3}}, L"20,3,3"},
        {L"447392", Ranges{{447392, 447392}}, L"447392"},
        {L"0-447392", Ranges{{0, 447392}}, L"0-447392"},
        {L"0000000000447392", Ranges{{447392, 447392}}, L"0000000000447392"},
        {L"447393", std::nullopt, L""},
        {L"0-447393", std::nullopt, L""},
        {L"99999999999999999999", std::nullopt, L""},
        {L"5-", std::nullopt, L""},
        {L"-5", std::nullopt, L""},
        {L"3-1", std::nullopt, L""},
        {L"a", std::nullopt, L""},
        {L"1,,2", std::nullopt, L""},
        {L"1,", std::nullopt, L""},
        {L",1", std::nullopt, L""},
        {L"1 2", std::nullopt, L""},
        {L"1-2-3", std::nullopt, L""},
        {L"-1-3", std::nullopt, L""},
        {L"+3", std::nullopt, L""},
        {L"1.5", std::nullopt, L""},
        {L"1;2", std::nullopt, L""},
        {L"1，2", std::nullopt, L""},   // a full-width comma
        {L"１２", std::nullopt, L""},    // full-width digits
        {L"1\u30002", std::nullopt, L""},  // an ideographic space
        {L"", std::nullopt, L""},
        {L"  ", std::nullopt, L""},
        {L"默认", std::nullopt, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        EXPECT_EQ(ParseFrameList(c.text), c.ranges);
        if (c.ranges) {
            EXPECT_EQ(FramesArgument(c.text), c.argument);
        }
    }
}

TEST(FrameList, ARowsFramesAreNamedOnceInOrderAndARefusalQuotesTheCell) {
    EXPECT_EQ(ListedFrames({{20, 20}, {3, 5}, {4, 4}, {0, 0}, {5, 6}}), (std::vector<int>{0, 3, 4, 5, 6, 20}));
    EXPECT_EQ(ListedFrames({{0, 447392}}).size(), 447393u);
    EXPECT_EQ(InvalidFramesMessage(3, L"5-"), L"第3行的帧“5-”不是有效的帧范围（例如 12、0-100、1,3,5-12）");
    EXPECT_EQ(InvalidFramesMessage(12, L" 1,,2 "),
              L"第12行的帧“ 1,,2 ”不是有效的帧范围（例如 12、0-100、1,3,5-12）");
}

}  // namespace
}  // namespace ravolen
