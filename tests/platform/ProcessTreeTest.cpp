#include "platform/ProcessTree.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace ravolen {
namespace {

// A script (10, started at 100) with a renderer and the renderer's 3ds Max; around it the ids of
// processes that went away and were reused.
TEST(ProcessTree, ChildrenAreThoseStartedAfterTheirParent) {
    const std::vector<ListedProcess> processes = {
        {4, 0, 1},       // the system
        {10, 4, 100},    // the script, the root
        {11, 10, 110},   // its renderer
        {12, 11, 120},   // the renderer's 3ds Max
        {20, 10, 90},    // older than the root: its parent 10 was another, earlier process
        {21, 20, 130},   // a child of that stranger
        {13, 12, 125},   // a helper of 3ds Max
        {30, 4, 140},    // unrelated
        {11, 10, 115},   // listed twice (cannot be, but must not loop or count twice)
    };
    const auto ids = [](const std::vector<ListedProcess>& found) {
        std::vector<unsigned long> sorted;
        for (const ListedProcess& process : found) sorted.push_back(process.id);
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    };
    EXPECT_EQ(ids(Descendants(10, 100, processes)), (std::vector<unsigned long>{11, 12, 13}));
    EXPECT_TRUE(Descendants(30, 140, processes).empty());
    // A parent id reused by a newer process adopts no older child.
    EXPECT_TRUE(Descendants(12, 200, processes).empty());
    // A loop of reused ids ends.
    const std::vector<ListedProcess> loop = {{1, 2, 5}, {2, 1, 5}};
    EXPECT_EQ(ids(Descendants(1, 5, loop)), std::vector<unsigned long>{2});
}

}  // namespace
}  // namespace ravolen
