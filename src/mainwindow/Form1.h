#pragma once

#include "mainwindow/JobRows.h"
#include "platform/Platform.h"
#include "win/Form.h"

namespace ravolen {

// The main window: the job table, the settings of the whole run and the command buttons.
class Form1 final : public win::Form {
public:
    explicit Form1(Platform& platform) : platform_(platform) {}

    // Creates the window hidden and runs its start-up; false when Windows refused the window.
    bool create();

    JobRows jobs() const { return JobRows(control(L"ListView1")); }

private:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void onCommand(int id, int code) override;

    void Form_Load();
    void Command1_Click();

    Platform& platform_;
};

}  // namespace ravolen
