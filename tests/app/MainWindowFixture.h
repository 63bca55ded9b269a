#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "app/DeadlineProgress.h"
#include "app/FarmDialog.h"
#include "app/JobDialog.h"
#include "app/MainWindow.h"
#include "app/NightFollower.h"
#include "app/ResultsDialog.h"
#include "jobs/JobListFile.h"
#include "support/FakePlatform.h"
#include "support/WindowTest.h"
#include "win/Controls.h"
#include "win/Layout.h"

namespace ravolen {

inline const std::wstring ScriptPath = L"C:\\Tools\\Ravolen\\bat\\Render.bat";

// Chooses the item of the window's menus with this caption (its & left out), as a click does.
inline void ChooseMenuItem(HWND window, std::wstring_view caption) {
    const UINT command = win::MenuCommand(GetMenu(window), caption);
    EXPECT_NE(command, 0u);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    test::PumpMessages();
}

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(form.create(), MainWindow::Startup::Ready);
        ShowWindow(form.hwnd(), SW_SHOW);
        SetForegroundWindow(form.hwnd());
        test::PumpMessages();
    }
    void TearDown() override {
        if (form.hwnd()) DestroyWindow(form.hwnd());
        test::PumpMessages();
    }

    HWND control(const wchar_t* name) const { return form.control(name); }
    int px(int twips) const { return win::TwipsToPixels(twips, form.dpi()); }

    RECT expectedRect(int left, int top, int width, int height) const {
        return {px(left), px(top), px(left + width), px(top + height)};
    }

    void fillTwoRows() {
        form.jobs().append({L"E:\\work\\lobby.max", L"默认", L"E:\\work\\renderOutput",
                            L"lobby.tga", L"默认", L"默认"});
        form.jobs().append(
            {L"E:\\work\\hall.max", L"Camera01", L"F:\\out", L"hall.jpg", L"1600", L"1200"});
    }

    // One row by each of the ways besides "+"'s own: quick add of D:\\q\\quick.max, a job list
    // holding `listed` opened from the menu, and the job editor's OK (D:\\e\\edited.max).
    void addByEveryWay(const RenderJob& listed) {
        platform.openAnswer = {L"D:\\q\\quick.max"};
        test::Click(control(L"quickAddButton"));
        const std::wstring listPath = L"D:\\lists\\more.csv";
        {
            const std::lock_guard guard(platform.lock);
            platform.files[listPath] = SaveJobList(std::vector<RenderJob>{listed});
        }
        platform.openAnswer = {listPath};
        SendMessageW(form.hwnd(), WM_COMMAND,
                     MAKEWPARAM(GetMenuItemID(GetSubMenu(GetMenu(form.hwnd()), 0), 0), 0), 0);
        test::Click(control(L"addJobButton"));
        ASSERT_NE(form.jobDialog(), nullptr);
        win::SetText(form.jobDialog()->control(L"sceneBox"), L"D:\\e\\edited.max");
        win::SetText(form.jobDialog()->control(L"outputFolderBox"), L"D:\\e\\out");
        win::SetText(form.jobDialog()->control(L"outputNameBox"), L"edited");
        test::Click(form.jobDialog()->control(L"okButton"));
    }

    test::FakePlatform platform;
    MainWindow form{platform};
};


}  // namespace ravolen
