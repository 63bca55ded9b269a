#pragma once

#include "platform/Platform.h"
#include "jobs/JobTable.h"
#include "win/Form.h"
#include "win/Subclass.h"

namespace ravolen {

// What the job editor needs of the window that holds the job table.
class JobTableHost {
public:
    // Appends the job as the table's last row.
    virtual void AddJobRow(const RenderJob& job) = 0;
    // Takes the selection off every row, selects the last one and gives the table the focus.
    virtual void SelectLastRow() = 0;

protected:
    ~JobTableHost() = default;
};

// The job editor: adds one job with all its settings. A modeless dialog without an owner, so the
// main window stays usable beside it; its buttons hide it and keep its texts, its close box
// destroys it.
class Form2 final : public win::Form {
public:
    Form2(Platform& platform, JobTableHost& table) : platform_(platform), table_(table) {}
    ~Form2() override { destroyWindow(); }

    // Creates the hidden dialog and loads it; false when Windows refused it.
    bool create();
    // Shows the dialog, or brings it forward when it is shown already.
    void show();

private:
    bool onCommand(int id, int code) override;

    void Form_Load();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    // Lets the digits and Backspace through; any other typed character becomes 0, discarded.
    static void Text4_KeyPress(wchar_t& KeyAscii);
    static void Text5_KeyPress(wchar_t& KeyAscii);

    static const win::CommandRoute<Form2> Commands[];

    Platform& platform_;
    JobTableHost& table_;
    win::Subclass text4Keys_;
    win::Subclass text5Keys_;
};

}  // namespace ravolen
