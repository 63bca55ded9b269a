#include "jobs/UnifiedSettings.h"

#include <gtest/gtest.h>

#include "jobs/QuickAdd.h"

namespace ravolen {
namespace {

using Texts = std::vector<std::wstring>;

// The session keeps the rows as shown and the saved lists; each row comes back as its own values
// with what unticking gives it, a row without a saved value what it showed.
TEST(UnifiedSettings, TheSessionsListsAndNamesGiveEachRowItsOwnBack) {
    EXPECT_EQ(SavedFolderList({std::nullopt, L"F2", std::nullopt, L"F4", std::nullopt}, {L"U", L"U", L"own3", L"U", L"U"}),
              (Texts{L"U", L"F2", L"own3", L"F4"}))
        << "as far as the last row with one";
    EXPECT_EQ(SavedExtensionList({std::nullopt, L".tga", std::nullopt, std::nullopt, L".jpg"},
                                 {L"a.png", L"b.png", L"c.b.exr", L"noext", L"e.png"}, L".png"),
              (Texts{L".png", L".tga", L".exr", L"", L".jpg"}));
    EXPECT_TRUE(SavedFolderList({std::nullopt, std::nullopt}, {L"x", L"y"}).empty());

    struct Case {
        const wchar_t* shown;
        const wchar_t* applied;
        std::optional<std::wstring> extension;
        const wchar_t* own;
    };
    for (const Case& c : std::vector<Case>{{L"scene.png", L".png", L".tga", L"scene.tga"},
                                           {L"a.b.png", L".png", std::nullopt, L"a.b.png"},
                                           {L"scene", L".png", L"", L"scene"},
                                           {L"scenepng", L"png", std::nullopt, L"scene."},
                                           {L"x.tif", L".png", L".tga", L"x.tga"},
                                           {L"a.b", L"", std::nullopt, L"a.b."}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.shown)));
        EXPECT_EQ(OwnName(c.shown, c.applied, c.extension), c.own);
        // Read under the format it was saved under, the own name shows as saved.
        if (std::wstring_view(c.shown).ends_with(c.applied)) {
            EXPECT_EQ(ShownCell(c.own, JobColumnOutputName, {L"", c.applied, false, true}), c.shown);
        }
    }
}

TEST(QuickAdd, EachChosenFileBecomesARowInTheDialogsOrder) {
    const auto one = QuickAddJobs({L"D:\\scenes\\room.max"}, L"D:\\out", L".tga");
    EXPECT_EQ(one, (std::vector<RenderJob>{{L"D:\\scenes\\room.max", L"默认", L"D:\\out",
                                            L"room.tga", L"默认", L"默认"}}));

    const auto three =
        QuickAddJobs({L"D:\\scenes", L"b.max", L"a.max", L"c.max"}, L"", L"");
    ASSERT_EQ(three.size(), 3u);
    EXPECT_EQ(three[0].scene, L"D:\\scenes\\b.max");
    EXPECT_EQ(three[1].scene, L"D:\\scenes\\a.max");
    EXPECT_EQ(three[2].outputName, L"c");  // an empty format gives no extension
    EXPECT_EQ(three[2].outputFolder, L"");

    // The folder is joined with one "\" whatever it ends with, as the common dialog's answer is.
    const auto root = QuickAddJobs({L"C:\\", L"a.max", L"b.max"}, L"F:\\out", L".tga");
    EXPECT_EQ(root[0].scene, L"C:\\\\a.max");

    EXPECT_EQ(SceneBaseName(L"Room.MAX"), L"Room.MAX");
    EXPECT_EQ(SceneBaseName(L"a.max.old.max"), L"a.old");
    EXPECT_EQ(SceneBaseName(L".max.max"), L"");
    EXPECT_EQ(QuickAddJobs({L"E:\\Room.MAX"}, L"o", L".tga")[0].outputName, L"Room.MAX.tga");
    EXPECT_TRUE(QuickAddJobs({}, L"o", L".tga").empty());
}

TEST(QuickAdd, DroppedFoldersOpenOneLevelInExplorersOrder) {
    EXPECT_TRUE(NaturalLess(L"shot2.max", L"shot10.max"));
    EXPECT_TRUE(NaturalLess(L"Shot2.max", L"shot10.max"));
    EXPECT_FALSE(NaturalLess(L"shot10.max", L"shot2.max"));
    EXPECT_TRUE(NaturalLess(L"a.max", L"B.max"));
    EXPECT_TRUE(NaturalLess(L"x007", L"x8"));
    EXPECT_FALSE(NaturalLess(L"same", L"same"));
    EXPECT_TRUE(IsSceneFile(L"Room.MAX"));
    EXPECT_FALSE(IsSceneFile(L"room.max.bak"));
    EXPECT_FALSE(IsSceneFile(L"max"));

    const auto entries = [](const std::wstring& path) -> std::optional<std::vector<FolderEntry>> {
        if (path != L"D:\\s\\") return std::nullopt;
        return std::vector<FolderEntry>{{L"b10.max", false}, {L"sub.max", true}, {L"b9.MAX", false},
                                        {L"x.txt", false}};
    };
    const DroppedScenes dropped = SortOutDropped({L"D:\\s\\", L"D:\\a.txt", L"D:\\z.max"}, entries);
    EXPECT_EQ(dropped.scenes, (Texts{L"D:\\s\\b9.MAX", L"D:\\s\\b10.max", L"D:\\z.max"}));
    EXPECT_EQ(dropped.skipped, 1);
}

}  // namespace
}  // namespace ravolen
