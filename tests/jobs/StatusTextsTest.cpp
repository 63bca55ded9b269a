#include "jobs/StatusTexts.h"

#include <gtest/gtest.h>

namespace ravolen {
namespace {

TEST(StatusTexts, CountTheRowsAndNameTheSelectedScenesFile) {
    EXPECT_EQ(ComposeStatus(0, std::nullopt), (StatusTexts{L"一共 0个文件", L""}));
    EXPECT_EQ(ComposeStatus(3, L"E:\\work\\lobby.max"), (StatusTexts{L"一共 3个文件", L"lobby.max"}));
    EXPECT_EQ(ComposeStatus(12345, L"lobby.max").scene, L"lobby.max");
    EXPECT_EQ(ComposeStatus(1, L"E:\\work\\").scene, L"");
    EXPECT_EQ(ComposeStatus(1, L"\\\\server\\share\\场景 1.max").scene, L"场景 1.max");
    // Rows without a selection, and a stale selection in an empty table, name no file.
    EXPECT_EQ(ComposeStatus(2, std::nullopt).scene, L"");
    EXPECT_EQ(ComposeStatus(0, L"E:\\work\\lobby.max").scene, L"");
}

}  // namespace
}  // namespace ravolen
