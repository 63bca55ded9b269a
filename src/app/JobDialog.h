#pragma once

#include <optional>

#include "app/JobTableHost.h"
#include "platform/Platform.h"
#include "win/Form.h"
#include "win/Subclass.h"

namespace ravolen {

// The job editor: adds one job with all its settings. A modeless dialog without an owner, so the
// main window stays usable beside it; its buttons hide it and keep its texts, its close box
// destroys it.
class JobDialog final : public win::Form {
public:
    JobDialog(Platform& platform, JobTableHost& table) : platform_(platform), table_(table) {}
    ~JobDialog() override { destroyWindow(); }

    // Creates the hidden dialog and loads it; false when Windows refused it.
    bool create();
    // Shows the dialog to add a job, or brings it forward when it is shown already.
    void show();
    // Shows the dialog on a row of the table (by its id): the row's texts in the boxes, and OK
    // writes them back to that row.
    void edit(RowId id, const RenderJob& job);
    bool editing() const { return editing_.has_value(); }

private:
    bool onCommand(int id, int code) override;

    void onLoad();
    void onPickSceneClicked();
    void onOkClicked();
    void onCancelClicked();
    void onPickOutputFolderClicked();
    void onPickPresetClicked();
    void onFramesChanged();
    // Lets the digits and Backspace through; any other typed character becomes 0, discarded.
    static void digitsOnly(wchar_t& typed);

    static const win::CommandRoute<JobDialog> Commands[];

    Platform& platform_;
    JobTableHost& table_;
    win::Subclass widthKeys_;
    win::Subclass heightKeys_;
    std::optional<RowId> editing_;  // the row OK writes back, or none: OK adds a row
    void emptyBoxes();
};

}  // namespace ravolen
