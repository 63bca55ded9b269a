#include "app/NightOptionsDialog.h"

#include <array>
#include <string>

#include "win/Controls.h"

namespace ravolen {
namespace {

using win::ControlKind;

enum : int {
    IdHungLabel = 5101, IdHung, IdHungUnit, IdLongestLabel, IdLongestHours, IdHoursUnit,
    IdLongestMinutes, IdMinutesUnit, IdRetriesLabel, IdRetries, IdRetriesUnit, IdOk, IdCancel,
    IdContinueUnasked,
};

constexpr int ClientWidth = 6000;
constexpr int ClientHeight = 3240;

const std::array<win::ControlSpec, 14> Layout{{
    {.kind = ControlKind::Label, .id = IdHungLabel, .name = L"LabelHung", .left = 120, .top = 280,
     .width = 1900, .height = 255, .tabIndex = 0, .caption = L"无响应超时："},
    {.kind = ControlKind::TextBox, .id = IdHung, .name = L"Hung", .left = 2040, .top = 240,
     .width = 700, .height = 315, .tabIndex = 1},
    {.kind = ControlKind::Label, .id = IdHungUnit, .name = L"HungUnit", .left = 2820, .top = 280,
     .width = 3000, .height = 255, .tabIndex = 2, .caption = L"分钟（1-240，0为关闭）"},
    {.kind = ControlKind::Label, .id = IdLongestLabel, .name = L"LabelLongest", .left = 120,
     .top = 760, .width = 1900, .height = 255, .tabIndex = 3, .caption = L"单个任务最长时间："},
    {.kind = ControlKind::TextBox, .id = IdLongestHours, .name = L"LongestHours", .left = 2040,
     .top = 720, .width = 700, .height = 315, .tabIndex = 4},
    {.kind = ControlKind::Label, .id = IdHoursUnit, .name = L"HoursUnit", .left = 2820, .top = 760,
     .width = 500, .height = 255, .tabIndex = 5, .caption = L"小时"},
    {.kind = ControlKind::TextBox, .id = IdLongestMinutes, .name = L"LongestMinutes", .left = 3360,
     .top = 720, .width = 700, .height = 315, .tabIndex = 6},
    {.kind = ControlKind::Label, .id = IdMinutesUnit, .name = L"MinutesUnit", .left = 4140,
     .top = 760, .width = 1700, .height = 255, .tabIndex = 7, .caption = L"分钟（0为不限）"},
    {.kind = ControlKind::Label, .id = IdRetriesLabel, .name = L"LabelRetries", .left = 120,
     .top = 1240, .width = 1900, .height = 255, .tabIndex = 8, .caption = L"失败后重试："},
    {.kind = ControlKind::TextBox, .id = IdRetries, .name = L"Retries", .left = 2040, .top = 1200,
     .width = 700, .height = 315, .tabIndex = 9},
    {.kind = ControlKind::Label, .id = IdRetriesUnit, .name = L"RetriesUnit", .left = 2820,
     .top = 1240, .width = 3000, .height = 255, .tabIndex = 10, .caption = L"次（0-3）"},
    {.kind = ControlKind::CheckBox, .id = IdContinueUnasked, .name = L"ContinueUnasked", .left = 120,
     .top = 1740, .width = 5700, .height = 315, .tabIndex = 11, .caption = L"继续中断的渲染时不再询问"},
    {.kind = ControlKind::Button, .id = IdOk, .name = L"Ok", .left = 3000, .top = 2520,
     .width = 1300, .height = 420, .tabIndex = 12, .caption = L"确  定", .defaultButton = true},
    {.kind = ControlKind::Button, .id = IdCancel, .name = L"Cancel", .left = 4500, .top = 2520,
     .width = 1300, .height = 420, .tabIndex = 13, .caption = L"取  消"},
}};

bool AllDigits(const std::wstring& text) {
    return !text.empty() && text.size() <= 6 &&
           text.find_first_not_of(L"0123456789") == std::wstring::npos;
}

}  // namespace

const win::CommandRoute<NightOptionsDialog> NightOptionsDialog::Commands[] = {
    {IdOk, BN_CLICKED, &NightOptionsDialog::onOkClicked},
    {IdCancel, BN_CLICKED, &NightOptionsDialog::onCancelClicked},
    {IDCANCEL, BN_CLICKED, &NightOptionsDialog::onCancelClicked},  // Escape
};

bool NightOptionsDialog::create(HWND owner) {
    if (!createForm(L"RavolenNightOptions", L"夜间选项", ClientWidth, ClientHeight, 10.5, nullptr,
                    owner) ||
        !createControls(Layout)) {
        destroyWindow();
        return false;
    }
    win::SetText(item(IdHung), std::to_wstring(options_.hungMinutes));
    win::SetText(item(IdLongestHours), std::to_wstring(options_.longestMinutes / 60));
    win::SetText(item(IdLongestMinutes), std::to_wstring(options_.longestMinutes % 60));
    win::SetText(item(IdRetries), std::to_wstring(options_.retries));
    win::SetChecked(item(IdContinueUnasked), options_.continueUnasked);
    ShowWindow(hwnd(), SW_SHOW);
    SetForegroundWindow(hwnd());
    return true;
}

bool NightOptionsDialog::onCommand(int id, int code) {
    return win::RouteCommand<NightOptionsDialog>(*this, Commands, id, code);
}

std::optional<int> NightOptionsDialog::number(int id, int lowest, int highest,
                                              const wchar_t* message) {
    const std::wstring text = win::WindowText(item(id));
    if (AllDigits(text)) {
        const int value = std::stoi(text);
        if (value >= lowest && value <= highest) return value;
    }
    platform_.showMessage(message);
    SetFocus(item(id));
    SendMessageW(item(id), EM_SETSEL, 0, -1);
    return std::nullopt;
}

void NightOptionsDialog::onOkClicked() {
    const auto hung = number(IdHung, 0, MaxHungMinutes, L"无响应超时只能是0到240之间的整数（分钟）。");
    if (!hung) return;
    const auto hours = number(IdLongestHours, 0, MaxLongestMinutes / 60,
                              L"单个任务最长时间的小时只能是0到99之间的整数。");
    if (!hours) return;
    const auto minutes = number(IdLongestMinutes, 0, 59, L"单个任务最长时间的分钟只能是0到59之间的整数。");
    if (!minutes) return;
    const auto retries = number(IdRetries, 0, MaxRetries, L"失败后重试只能是0到3之间的整数。");
    if (!retries) return;
    options_ = {*hung, *hours * 60 + *minutes, *retries, win::IsChecked(item(IdContinueUnasked))};
    ShowWindow(hwnd(), SW_HIDE);
    if (accepted_) accepted_();
}

void NightOptionsDialog::onCancelClicked() { ShowWindow(hwnd(), SW_HIDE); }

}  // namespace ravolen
