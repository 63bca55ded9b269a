#include "jobs/Results.h"

#include <gtest/gtest.h>

namespace ravolen {
namespace {

RenderJob Row(std::wstring folder, std::wstring name) {
    return {L"E:\\s.max", L"默认", std::move(folder), std::move(name), L"默认", L"默认"};
}

TEST(Results, AnOutputIsCompleteAsAnImageOrAsItsNumberedFrames) {
    int reads = 0;
    const auto entries = [&](const std::wstring& folder) -> std::optional<std::vector<FolderEntry>> {
        ++reads;
        if (folder == L"F:\\missing") return std::nullopt;
        return std::vector<FolderEntry>{
            {L"Lobby.TGA", false, 100, 7},      {L"hall0000.jpg", false, 10, 1},
            {L"hall0001.jpg", false, 10, 9},    {L"hall12.jpg", false, 10, 2},
            {L"hall123.jpg", false, 10, 2},
            {L"shot20000.tga", false, 5, 3},    {L"sub.tga", true, 0, 0},
            {L"other.png", false, 1, 1},
        };
    };
    const std::vector<RenderJob> rows = {Row(L"F:\\out", L"lobby.tga"), Row(L"F:\\OUT", L"hall.jpg"),
                                         Row(L"F:\\out", L"shot2.tga"), Row(L"F:\\out", L"sub.tga"),
                                         Row(L"F:\\out", L"atrium.tga"), Row(L"F:\\missing", L"x.tga")};
    const std::vector<RenderResult> results = FindResults(rows, entries);
    ASSERT_EQ(results.size(), rows.size());
    EXPECT_EQ(results[0].output, L"F:\\out\\lobby.tga");
    EXPECT_TRUE(results[0].done);
    EXPECT_EQ(results[0].size, 100u);
    EXPECT_EQ(results[1].frames, 2);  // hall12.jpg and hall123.jpg are no frames
    EXPECT_EQ(results[1].size, 20u);
    EXPECT_EQ(results[1].modified, 9u);
    EXPECT_TRUE(results[2].done);  // shot2 + frame 0000
    EXPECT_FALSE(results[3].done);  // a folder is no image
    EXPECT_FALSE(results[4].done);
    EXPECT_FALSE(results[5].done);
    EXPECT_EQ(reads, 2);  // each folder once, letter case aside
    // Every image found, to be read in its own format: the output, or each frame with its number.
    EXPECT_EQ(results[0].files, (std::vector<OutputFile>{{L"F:\\out\\lobby.tga", -1, 100, 7}}));
    EXPECT_EQ(results[1].files, (std::vector<OutputFile>{{L"F:\\OUT\\hall0000.jpg", 0, 10, 1},
                                                         {L"F:\\OUT\\hall0001.jpg", 1, 10, 9}}));
    EXPECT_EQ(results[2].files, (std::vector<OutputFile>{{L"F:\\out\\shot20000.tga", 0, 5, 3}}));
    EXPECT_TRUE(results[4].files.empty());
}

// A row's frames are its own name with a number before its own extension; a file another row
// expects by name is that row's output, not a frame of this one.
TEST(Results, AnotherRowsOutputIsNeverAFrame) {
    const auto entries = [](const std::wstring&) -> std::optional<std::vector<FolderEntry>> {
        return std::vector<FolderEntry>{{L"plan2024.png", false, 40, 4},
                                        {L"anim0000.PNG", false, 10, 1},
                                        {L"anim0001.png", false, 10, 2},
                                        {L"anim0002.jpg", false, 10, 3}};
    };
    const std::vector<RenderJob> rows = {Row(L"F:\\out", L"plan.png"),
                                         Row(L"F:\\out", L"plan2024.png"),
                                         Row(L"F:\\out", L"anim.png")};
    const std::vector<RenderResult> results = FindResults(rows, entries);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_FALSE(results[0].done) << "plan2024.png is the second row's image";
    EXPECT_EQ(results[0].frames, 0);
    EXPECT_TRUE(results[1].done);
    EXPECT_EQ(results[1].frames, 0);
    EXPECT_EQ(results[1].size, 40u);
    EXPECT_TRUE(results[2].done);
    EXPECT_EQ(results[2].frames, 2) << "anim0002.jpg has another extension";
    EXPECT_EQ(results[2].size, 20u);

    // Alone, plan2024.png is still what an animation of plan.png would write.
    const std::vector<RenderJob> alone = {Row(L"F:\\out", L"plan.png")};
    EXPECT_EQ(FindResults(alone, entries)[0].frames, 1);
}

// With a frame list, each listed frame's own file: the name before its extension and the frame
// number of four digits at least; the first five missing are named, then "…".
TEST(Results, ARowWithAFrameListIsCompleteOnlyWithEveryListedFrame) {
    const auto entries = [](const std::wstring&) -> std::optional<std::vector<FolderEntry>> {
        return std::vector<FolderEntry>{
            {L"walk0000.tga", false, 10, 1}, {L"Walk0001.TGA", false, 10, 2}, {L"walk0003.tga", false, 10, 3},
            {L"walk0012.tga", false, 10, 4}, {L"walk12345.tga", false, 10, 5}, {L"walk012.tga", false, 10, 6},
            {L"walk.tga", false, 10, 7},     {L"walk0002.jpg", false, 10, 8},  {L"still", false, 10, 9},
            {L"still0007", false, 10, 9},
        };
    };
    const struct {
        std::wstring name, frames;
        bool done;
        int found;
        std::wstring text;  // what the results say of the missing frames
    } cases[] = {
        {L"walk.tga", L"0-1, 3", true, 3, L""},
        {L"walk.tga", L"1,1,0-1", true, 2, L""},
        {L"walk.tga", L"12,12345", true, 2, L""},
        {L"walk.tga", L"0-3", false, 3, L"缺1帧：2"},
        {L"walk.tga", L"3,15,12,20,2", false, 2, L"缺3帧：2、15、20"},
        {L"walk.tga", L"0-12", false, 4, L"缺9帧：2、4、5、6、7…"},
        {L"walk.tga", L"4-8", false, 0, L"缺5帧：4、5、6、7、8"},
        {L"walk.tga", L"0-447392", false, 5, L"缺447388帧：2、4、5、6、7…"},
        {L"still", L"7", true, 1, L""},
        // 默认, or a text that is no frame list, keeps the rule of names and numbered frames.
        {L"walk.tga", L"默认", true, 0, L""},
        {L"walk.tga", L"5-", true, 0, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.frames));
        RenderJob row = Row(L"F:\\out", c.name);
        row.frames = c.frames;
        const std::vector<RenderJob> rows{row};
        const RenderResult result = FindResults(rows, entries)[0];
        EXPECT_EQ(result.done, c.done);
        EXPECT_EQ(result.frames, c.found);
        EXPECT_EQ(MissingFramesText(result), c.text);
    }
}

}  // namespace
}  // namespace ravolen
