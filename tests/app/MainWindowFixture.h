#pragma once

#include <gtest/gtest.h>

#include <string>

#include "app/MainWindow.h"
#include "support/FakePlatform.h"
#include "support/WindowTest.h"
#include "win/Layout.h"

namespace ravolen {

inline const std::wstring ScriptPath = L"C:\\Tools\\Ravolen\\bat\\Render.bat";

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

    test::FakePlatform platform;
    MainWindow form{platform};
};


}  // namespace ravolen
