#pragma once

#include <functional>
#include <string>

#include "platform/Platform.h"
#include "farm/FarmJobs.h"
#include "render/RenderScript.h"
#include "win/Form.h"

namespace ravolen {

// The settings of one farm, checked on OK; OK writes them and calls `accepted`, Cancel changes
// nothing. The dialog only hides itself, so that its owner may destroy it at leisure.
class FarmDialog final : public win::Form {
public:
    FarmDialog(Platform& platform, RenderWay way, DeadlineChoice& deadline,
               BackburnerSettings& backburner, std::function<void()> accepted)
        : platform_(platform), way_(way), deadline_(deadline), backburner_(backburner),
          accepted_(std::move(accepted)) {}
    ~FarmDialog() override { destroyWindow(); }

    // Shows the dialog with the present settings, in front of `owner`.
    bool create(HWND owner);
    RenderWay way() const { return way_; }

private:
    bool onCommand(int id, int code) override;

    void onOkClicked();
    void onCancelClicked();
    void onBrowseClicked();
    // The field's number when it is all digits and within the range, else nothing, after a
    // message naming the field.
    std::optional<int> number(int id, int lowest, int highest, const wchar_t* message);
    bool refuse(int id, const wchar_t* message);

    static const win::CommandRoute<FarmDialog> Commands[];

    Platform& platform_;
    RenderWay way_;
    DeadlineChoice& deadline_;
    BackburnerSettings& backburner_;
    std::function<void()> accepted_;
};

}  // namespace ravolen
