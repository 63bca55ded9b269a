#include "render/OutputCheck.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "ImageBytes.h"
#include "support/FakePlatform.h"

namespace ravolen {
namespace {

using test::FakePlatform;

RenderJob Row(std::wstring name, std::wstring width = L"默认", std::wstring height = L"默认",
              std::wstring frames = L"默认") {
    return {L"E:\\s.max", L"默认", L"F:\\out", std::move(name), std::move(width), std::move(height),
            std::move(frames)};
}

// Rows and the files a night left for them, each read as the results dialog and the morning read
// them: what the state column says, and whether the row counts as done.
TEST(OutputCheck, ARowIsDoneOnlyWhenEveryImageReadsWholeAndItsWorstFaultIsNamed) {
    FakePlatform platform;
    std::vector<FolderEntry> entries;
    const auto put = [&](const std::wstring& name, std::string bytes) {
        entries.push_back({name, false, bytes.size(), 5});
        platform.files[L"F:\\out\\" + name] = std::move(bytes);
    };
    const std::string png = imagebytes::Png(64, 48);
    put(L"good.png", png);
    put(L"cut.png", png.substr(0, png.size() - 12));  // the end marker never written
    put(L"small.tga", imagebytes::Targa(1920, 1080));
    put(L"empty.tga", "");
    put(L"jpeg.png", imagebytes::Jpeg(64, 48));   // another format under the name
    put(L"notes.xyz", "x");                       // nothing to judge but its size
    put(L"any.tga", imagebytes::Targa(3, 2));     // 默认: any size
    for (int frame = 12; frame <= 16; ++frame) {
        std::string image = imagebytes::Png(8, 8);
        if (frame == 14 || frame == 15) image.resize(40);
        if (frame == 16) image = imagebytes::Png(9, 8);
        put(L"walk00" + std::to_wstring(frame) + L".png", std::move(image));
    }
    for (int frame = 1; frame <= 2; ++frame) put(L"run000" + std::to_wstring(frame) + L".png", "");
    platform.folderContents[L"F:\\out"] = entries;

    struct Case {
        RenderJob row;
        bool done;
        std::wstring state;
    };
    const Case cases[] = {
        {Row(L"good.png", L"64", L"48"), true, L""},
        {Row(L"cut.png"), false, L"损坏"},
        {Row(L"small.tga", L"3840", L"2160"), false, L"尺寸不符（应为3840×2160，实为1920×1080）"},
        {Row(L"small.tga", L"1920", L"1080"), true, L""},
        {Row(L"empty.tga"), false, L"空文件"},
        {Row(L"jpeg.png"), false, L"损坏"},
        {Row(L"notes.xyz", L"64", L"48"), true, L""},
        {Row(L"any.tga", L"64", L"默认"), true, L""},  // a size given by half is no size
        // Frames: the worst first, the size last; each fault counted by frame.
        {Row(L"walk.png", L"8", L"8"), false, L"2帧损坏：14、15"},
        {Row(L"walk.png", L"8", L"8", L"12,13,16"), false, L"1帧尺寸不符（应为8×8，实为9×8）"},
        {Row(L"walk.png", L"8", L"8", L"12-13,17"), false, L"缺1帧：17"},
        {Row(L"run.png"), false, L"2帧空文件：1、2"},
    };
    std::vector<RenderJob> rows;
    for (const Case& c : cases) rows.push_back(c.row);
    std::vector<RenderResult> results =
        FindResults(rows, [&](const std::wstring& folder) { return platform.folderEntries(folder); });
    ImageReadings readings(platform);
    CheckOutputs(rows, results, std::ref(readings));
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE(cases[k].row.outputName + L" " + cases[k].row.frames);
        EXPECT_EQ(results[k].done, cases[k].done);
        EXPECT_EQ(ResultFaultText(results[k]), cases[k].state);
    }

    // Before they render again, exactly the images at fault go into 损坏 beside them, a name
    // taken there (or by another file moved) numbered; good images stay.
    platform.files[L"F:\\out\\损坏\\cut.png"] = "old";
    platform.files[L"F:\\out\\损坏\\walk0014 (2).png"] = "old";
    const std::vector<RenderResult> again = {results[1], results[2], results[3], results[8], results[11]};
    const auto moves = SetAsideMoves(again, [&](const std::wstring& path) { return platform.files.count(path) > 0; });
    EXPECT_EQ(moves, (std::vector<FileMove>{
                         {L"F:\\out\\cut.png", L"F:\\out\\损坏\\cut (2).png"},
                         {L"F:\\out\\small.tga", L"F:\\out\\损坏\\small.tga"},
                         {L"F:\\out\\walk0014.png", L"F:\\out\\损坏\\walk0014.png"},
                         {L"F:\\out\\walk0015.png", L"F:\\out\\损坏\\walk0015.png"},
                         {L"F:\\out\\walk0016.png", L"F:\\out\\损坏\\walk0016.png"},  // 9×8
                         {L"F:\\out\\run0001.png", L"F:\\out\\损坏\\run0001.png"},
                         {L"F:\\out\\run0002.png", L"F:\\out\\损坏\\run0002.png"},
                     }));
    const std::vector<RenderResult> twice = {results[2], results[2]};  // one file, two rows' faults
    EXPECT_EQ(SetAsideMoves(twice, [](const std::wstring&) { return false; }).back().to,
              L"F:\\out\\损坏\\small (2).tga");
    EXPECT_TRUE(SetAsideMoves(twice, [](const std::wstring&) { return true; }).empty());  // every name taken

    // Shown again, nothing is read again; a file written anew is.
    const auto reads = [&] { return std::count_if(platform.calls.begin(), platform.calls.end(),
                                                  [](const std::wstring& call) { return call.starts_with(L"readFileFrom"); }); };
    const auto before = reads();
    CheckOutputs(rows, results, std::ref(readings));
    EXPECT_EQ(reads(), before);
    ++results[0].files[0].modified;
    CheckOutputs(rows, results, std::ref(readings));
    EXPECT_GT(reads(), before);
}

}  // namespace
}  // namespace ravolen
