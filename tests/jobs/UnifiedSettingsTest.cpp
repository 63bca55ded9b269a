#include "jobs/UnifiedSettings.h"

#include <gtest/gtest.h>

#include "jobs/QuickAdd.h"

namespace ravolen {
namespace {

using Texts = std::vector<std::wstring>;

TEST(UnifiedFolder, TickGivesEveryRowTheFolderAndUntickGivesRowsWithAnEntryTheirsBack) {
    Texts folders{L"F1", L"F2", L"F3"};
    Texts saved{L"stale"};
    TickUnifiedFolder(folders, L"U", saved);
    EXPECT_EQ(folders, (Texts{L"U", L"U", L"U"}));
    EXPECT_EQ(saved, (Texts{L"F1", L"F2", L"F3"}));

    folders.push_back(L"F4");  // added after the tick: no entry
    UntickUnifiedFolder(folders, saved);
    EXPECT_EQ(folders, (Texts{L"F1", L"F2", L"F3", L"F4"}));
    EXPECT_EQ(saved.size(), 3u);

    Texts none;
    TickUnifiedFolder(none, L"U", saved);
    UntickUnifiedFolder(none, saved);
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(saved.empty());
}

TEST(UnifiedFormat, ANameIsItsStemAndTheFormatAndComesBackWhole) {
    Texts names{L"scene.tga", L"a.b.tga", L"scene", L"shot.v2.exr", L""};
    const Texts original = names;
    Texts saved;
    TickUnifiedFormat(names, L".jpg", saved);
    EXPECT_EQ(names, (Texts{L"scene.jpg", L"a.b.jpg", L"scene.jpg", L"shot.v2.jpg", L".jpg"}));
    EXPECT_EQ(saved, (Texts{L".tga", L".tga", L"", L".exr", L""}));
    UntickUnifiedFormat(names, L".jpg", saved);
    EXPECT_EQ(names, original);
}

TEST(UnifiedFormat, EveryStepOfTypingKeepsEveryCharacterOfTheNames) {
    Texts names{L"scene.tga", L"a.b.tga", L"scene", L"v1.2"};
    const Texts original = names;
    Texts saved;
    TickUnifiedFormat(names, L".tga", saved);
    std::wstring applied = L".tga";
    // Backspacing ".tga" away, then typing ".png" (and once a text without a dot).
    for (const wchar_t* typed : {L".tg", L".t", L".", L"", L"png", L"", L".", L".p", L".pn",
                                 L".png"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(typed)));
        ChangeUnifiedFormat(names, applied, typed);
        applied = typed;
        const Texts stems{L"scene", L"a.b", L"scene", L"v1"};
        for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(names[i], stems[i] + typed);
    }
    UntickUnifiedFormat(names, applied, saved);
    EXPECT_EQ(names, original);
}

TEST(UnifiedFormat, ARowEditedOrAddedSinceTheTickKeepsItsOwnStem) {
    Texts names{L"scene.tga", L"hall.tga"};
    Texts saved;
    TickUnifiedFormat(names, L".jpg", saved);
    names[1] = L"lobby.bmp";           // edited in place
    names.push_back(L"new.max.jpg");  // quick add after the tick takes the format as it is
    ChangeUnifiedFormat(names, L".jpg", L".png");
    EXPECT_EQ(names, (Texts{L"scene.png", L"lobby.png", L"new.max.png"}));
    UntickUnifiedFormat(names, L".png", saved);
    EXPECT_EQ(names, (Texts{L"scene.tga", L"lobby.tga", L"new.max.png"}));
}

// Every row its own saved value or none, wherever it stands: unticking leaves a row without one
// as it shows, and the list the session keeps gives such a row what unticking turns into the same.
TEST(UnifiedSettings, RowsWithoutASavedValueKeepWhatTheyShowAlsoAfterARestart) {
    const SavedEntries savedFolders{std::nullopt, L"F2", std::nullopt, L"F4", std::nullopt};
    Texts folders{L"U", L"U", L"own3", L"U", L"U"};
    const Texts list = SavedFolderList(savedFolders, folders);
    EXPECT_EQ(list, (Texts{L"U", L"F2", L"own3", L"F4"})) << "as far as the last row with one";
    Texts fromList = folders;
    UntickUnifiedFolder(folders, savedFolders);
    UntickUnifiedFolder(fromList, list);
    EXPECT_EQ(folders, (Texts{L"U", L"F2", L"own3", L"F4", L"U"}));
    EXPECT_EQ(fromList, folders);

    const SavedEntries savedExtensions{std::nullopt, L".tga", std::nullopt, std::nullopt, L".jpg"};
    Texts names{L"a.png", L"b.png", L"c.b.exr", L"noext", L"e.png"};
    const Texts extensions = SavedExtensionList(savedExtensions, names, L".png");
    EXPECT_EQ(extensions.size(), 5u);
    Texts namesFromList = names;
    UntickUnifiedFormat(names, L".png", savedExtensions);
    UntickUnifiedFormat(namesFromList, L".png", extensions);
    EXPECT_EQ(names, (Texts{L"a.png", L"b.tga", L"c.b.exr", L"noext", L"e.jpg"}));
    EXPECT_EQ(namesFromList, names);
    EXPECT_TRUE(SavedFolderList({std::nullopt, std::nullopt}, {L"x", L"y"}).empty());
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
