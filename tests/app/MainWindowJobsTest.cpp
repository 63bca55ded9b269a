#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "app/MainWindowFixture.h"
#include "win/Controls.h"

namespace ravolen {
namespace {

using test::Click;
using Texts = std::vector<std::wstring>;

class MainWindowJobsTest : public MainWindowTest {
protected:
    Texts column(int number) const { return form.jobs().list().column(number); }
    Texts folders() const { return column(JobColumnOutputFolder); }
    Texts names() const { return column(JobColumnOutputName); }
    void tick(const wchar_t* box) { Click(control(box)); }
    void addRow(std::wstring folder, std::wstring name) {
        form.jobs().append({L"E:\\s" + std::to_wstring(form.jobs().count() + 1) + L".max", L"默认",
                            std::move(folder), std::move(name), L"默认", L"默认"});
    }
    std::vector<int> selectedRows() const {
        std::vector<int> rows;
        for (int row = 1; row <= form.jobs().count(); ++row) {
            if (form.jobs().list().selected(row)) rows.push_back(row);
        }
        return rows;
    }
};

TEST_F(MainWindowJobsTest, TypingInTheFolderAndFormatBoxesRewritesEveryRowOnlyWhileTicked) {
    addRow(L"F1", L"scene.tga");
    addRow(L"F2", L"a.b.tga");
    win::SetText(control(L"unifiedFolderBox"), L"D:\\out");
    test::Type(control(L"unifiedFolderBox"), L"x");  // unticked: no row changes
    EXPECT_EQ(folders(), (Texts{L"F1", L"F2"}));

    tick(L"unifiedFolderCheck");
    EXPECT_EQ(folders(), (Texts{L"D:\\outx", L"D:\\outx"}));
    test::Type(control(L"unifiedFolderBox"), L"\b");
    EXPECT_EQ(folders(), (Texts{L"D:\\out", L"D:\\out"}));
    test::Type(control(L"unifiedFolderBox"), L"2");
    EXPECT_EQ(folders(), (Texts{L"D:\\out2", L"D:\\out2"}));
    tick(L"unifiedFolderCheck");
    EXPECT_EQ(folders(), (Texts{L"F1", L"F2"}));

    tick(L"unifiedFormatCheck");
    EXPECT_EQ(names(), (Texts{L"scene.tga", L"a.b.tga"}));
    // Every keystroke applies at once: ".tga" backspaced away, then ".png" typed.
    const std::pair<const wchar_t*, Texts> steps[] = {
        {L"\b", {L"scene.tg", L"a.b.tg"}}, {L"\b\b\b", {L"scene", L"a.b"}},
        {L".", {L"scene.", L"a.b."}},      {L"p", {L"scene.p", L"a.b.p"}},
        {L"ng", {L"scene.png", L"a.b.png"}},
    };
    for (const auto& [keys, expected] : steps) {
        test::Type(control(L"unifiedFormatBox"), keys);
        EXPECT_EQ(names(), expected);
    }
    tick(L"unifiedFormatCheck");
    EXPECT_EQ(names(), (Texts{L"scene.tga", L"a.b.tga"}));
    test::Type(control(L"unifiedFormatBox"), L"x");
    EXPECT_EQ(names(), (Texts{L"scene.tga", L"a.b.tga"}));
}

TEST_F(MainWindowJobsTest, QuickAddAppendsEveryChosenFileInOrderAndSelectsTheLast) {
    addRow(L"F1", L"old.tga");
    form.jobs().list().setSelected(1, true);
    win::SetText(control(L"unifiedFolderBox"), L"D:\\out");
    platform.openAnswer = {L"D:\\scenes\\room.max"};
    Click(control(L"quickAddButton"));
    ASSERT_EQ(platform.openRequests.size(), 1u);
    EXPECT_EQ(platform.openRequests[0],
              (OpenFileRequest{L"请选择文件", L"All Files (*.*)|*.*|Max Files(*.max)|*.max", 2, true}));
    EXPECT_EQ(form.jobs().job(2), (RenderJob{L"D:\\scenes\\room.max", L"默认", L"D:\\out",
                                             L"room.tga", L"默认", L"默认"}));

    platform.openAnswer = {L"D:\\scenes", L"b.max", L"Room.MAX", L"a.max.old.max"};
    Click(control(L"quickAddButton"));
    ASSERT_EQ(form.jobs().count(), 5);
    EXPECT_EQ(form.jobs().job(3).scene, L"D:\\scenes\\b.max");
    EXPECT_EQ(form.jobs().job(4).outputName, L"Room.MAX.tga");
    EXPECT_EQ(form.jobs().job(5).outputName, L"a.old.tga");
    EXPECT_EQ(selectedRows(), std::vector<int>{5});
    EXPECT_EQ(GetFocus(), control(L"jobTable"));

    platform.openAnswer = {L"C:\\", L"a.max"};
    Click(control(L"quickAddButton"));
    EXPECT_EQ(form.jobs().job(6).scene, L"C:\\\\a.max");
}

TEST_F(MainWindowJobsTest, QuickAddTakesTwoThousandFilesAndACancelChangesNothing) {
    Texts answer{L"E:\\项目\\场景"};
    for (int i = 1; i <= 2000; ++i) answer.push_back(L"镜头" + std::to_wstring(i) + L".max");
    platform.openAnswer = answer;
    Click(control(L"quickAddButton"));
    ASSERT_EQ(form.jobs().count(), 2000);
    EXPECT_EQ(form.jobs().job(1).scene, L"E:\\项目\\场景\\镜头1.max");
    EXPECT_EQ(form.jobs().job(2000).outputName, L"镜头2000.tga");
    EXPECT_EQ(selectedRows(), std::vector<int>{2000});

    form.jobs().selection().select({6});
    platform.openAnswer = {};
    Click(control(L"quickAddButton"));
    EXPECT_EQ(form.jobs().count(), 2000);
    EXPECT_EQ(selectedRows(), std::vector<int>{7});
}

TEST_F(MainWindowJobsTest, FolderButtonsTakeTheChosenFolderAndACancelLeavesEverything) {
    platform.folderAnswer = L"E:\\Autodesk\\3ds Max 2024";
    Click(control(L"installFolderButton"));
    EXPECT_EQ(win::WindowText(control(L"installFolderBox")), L"E:\\Autodesk\\3ds Max 2024");
    EXPECT_EQ(platform.folderTitles, Texts{L"请选择文件夹"});

    addRow(L"F1", L"a.tga");
    tick(L"unifiedFolderCheck");
    form.jobs().list().setCell(1, JobColumnOutputFolder, L"edited on its own");
    const std::wstring before = win::WindowText(control(L"unifiedFolderBox"));
    platform.folderAnswer = L"";
    Click(control(L"unifiedFolderButton"));
    Click(control(L"installFolderButton"));
    EXPECT_EQ(win::WindowText(control(L"unifiedFolderBox")), before);
    EXPECT_EQ(win::WindowText(control(L"installFolderBox")), L"E:\\Autodesk\\3ds Max 2024");
    EXPECT_EQ(folders(), Texts{before}) << "the row's own folder shows once unticked";

    platform.folderAnswer = L"G:\\";
    Click(control(L"unifiedFolderButton"));
    EXPECT_EQ(win::WindowText(control(L"unifiedFolderBox")), L"G:\\");
    EXPECT_EQ(folders(), Texts{L"G:\\"});
    tick(L"unifiedFolderCheck");
    EXPECT_EQ(folders(), Texts{L"edited on its own"});
}

TEST_F(MainWindowJobsTest, MinusRemovesTheTickedRowsAndTheirSavedValuesOnly) {
    for (int i = 1; i <= 5; ++i) addRow(L"F" + std::to_wstring(i), L"n" + std::to_wstring(i) + L".tga");
    tick(L"unifiedFolderCheck");
    tick(L"unifiedFormatCheck");
    addRow(L"F6", L"n6.tga");  // after the ticks: no saved entry
    for (int row : {2, 4, 6}) form.jobs().list().setChecked(row, true);
    Click(control(L"removeTickedButton"));
    ASSERT_EQ(form.jobs().count(), 3);
    EXPECT_EQ(form.jobs().job(2).scene, L"E:\\s3.max");

    win::SetText(control(L"unifiedFormatBox"), L".jpg");
    tick(L"unifiedFormatCheck");
    tick(L"unifiedFolderCheck");
    EXPECT_EQ(folders(), (Texts{L"F1", L"F3", L"F5"}));
    EXPECT_EQ(names(), (Texts{L"n1.tga", L"n3.tga", L"n5.tga"}));

    Click(control(L"clearButton"));
    EXPECT_EQ(form.jobs().count(), 0);
    addRow(L"F7", L"n7.jpg");
    tick(L"unifiedFolderCheck");
    tick(L"unifiedFolderCheck");  // the list was emptied: the new row keeps its folder
    EXPECT_EQ(folders(), Texts{L"F7"});
    form.jobs().list().setChecked(1, true);
    Click(control(L"clearButton"));
    Click(control(L"removeTickedButton"));
    EXPECT_EQ(form.jobs().count(), 0);
}

}  // namespace
}  // namespace ravolen
