#pragma once

#include <functional>
#include <optional>

#include "platform/Platform.h"
#include "render/NightGuard.h"
#include "win/Form.h"

namespace ravolen {

// 夜间选项: 无响应超时, 单个任务最长时间, 失败后重试 and 继续中断的渲染时不再询问, checked on OK; OK writes them and calls
// `accepted`, Cancel changes nothing. The dialog only hides itself, so that its owner may destroy
// it at leisure.
class NightOptionsDialog final : public win::Form {
public:
    NightOptionsDialog(Platform& platform, NightOptions& options, std::function<void()> accepted)
        : platform_(platform), options_(options), accepted_(std::move(accepted)) {}
    ~NightOptionsDialog() override { destroyWindow(); }

    // Shows the dialog with the present options, in front of `owner`.
    bool create(HWND owner);

private:
    bool onCommand(int id, int code) override;
    void onOkClicked();
    void onCancelClicked();
    // The field's number when it is all digits and within the range, else nothing, after the
    // message.
    std::optional<int> number(int id, int lowest, int highest, const wchar_t* message);

    static const win::CommandRoute<NightOptionsDialog> Commands[];

    Platform& platform_;
    NightOptions& options_;
    std::function<void()> accepted_;
};

}  // namespace ravolen
