#include "app/FarmDialog.h"

#include <array>

#include "win/Controls.h"

namespace ravolen {
namespace {

using win::ControlKind;

enum : int {
    IdPath = 5001, IdBrowse, IdPool, IdGroup, IdManager, IdPort, IdPriority, IdSuspended, IdOk,
    IdCancel, IdLabelPath, IdLabelPool, IdLabelGroup, IdLabelManager, IdLabelPort, IdLabelPriority,
    IdTimeout, IdLabelTimeout,
};

constexpr int ClientWidth = 5400;
constexpr int ClientHeight = 3000;
constexpr int DeadlineClientHeight = 3440;  // one row more, for the time limit

const std::array<win::ControlSpec, 14> DeadlineLayout{{
    {.kind = ControlKind::Label, .id = IdLabelPath, .name = L"LabelPath", .left = 120, .top = 240,
     .width = 5000, .height = 255, .tabIndex = 0, .caption = L"deadlinecommand.exe 的路径："},
    {.kind = ControlKind::TextBox, .id = IdPath, .name = L"Path", .left = 120, .top = 520,
     .width = 3900, .height = 315, .tabIndex = 1},
    {.kind = ControlKind::Button, .id = IdBrowse, .name = L"Browse", .left = 4140, .top = 490,
     .width = 1095, .height = 375, .tabIndex = 2, .caption = L"浏览…"},
    {.kind = ControlKind::Label, .id = IdLabelPool, .name = L"LabelPool", .left = 120, .top = 1000,
     .width = 900, .height = 255, .tabIndex = 3, .caption = L"池："},
    {.kind = ControlKind::TextBox, .id = IdPool, .name = L"Pool", .left = 1080, .top = 960,
     .width = 1500, .height = 315, .tabIndex = 4},
    {.kind = ControlKind::Label, .id = IdLabelGroup, .name = L"LabelGroup", .left = 2760,
     .top = 1000, .width = 600, .height = 255, .tabIndex = 5, .caption = L"组："},
    {.kind = ControlKind::TextBox, .id = IdGroup, .name = L"Group", .left = 3360, .top = 960,
     .width = 1875, .height = 315, .tabIndex = 6},
    {.kind = ControlKind::Label, .id = IdLabelPriority, .name = L"LabelPriority", .left = 120,
     .top = 1480, .width = 1900, .height = 255, .tabIndex = 7, .caption = L"优先级（0-100）："},
    {.kind = ControlKind::TextBox, .id = IdPriority, .name = L"Priority", .left = 2040,
     .top = 1440, .width = 700, .height = 315, .tabIndex = 8},
    {.kind = ControlKind::Label, .id = IdLabelTimeout, .name = L"LabelTimeout", .left = 120,
     .top = 1920, .width = 2200, .height = 255, .tabIndex = 9, .caption = L"单个任务超时（秒）："},
    {.kind = ControlKind::TextBox, .id = IdTimeout, .name = L"Timeout", .left = 2340,
     .top = 1880, .width = 700, .height = 315, .tabIndex = 10},
    {.kind = ControlKind::CheckBox, .id = IdSuspended, .name = L"Suspended", .left = 120,
     .top = 2360, .width = 2400, .height = 315, .tabIndex = 11, .caption = L"提交后暂停"},
    {.kind = ControlKind::Button, .id = IdOk, .name = L"Ok", .left = 2400, .top = 2840,
     .width = 1300, .height = 420, .tabIndex = 12, .caption = L"确  定", .defaultButton = true},
    {.kind = ControlKind::Button, .id = IdCancel, .name = L"Cancel", .left = 3900, .top = 2840,
     .width = 1300, .height = 420, .tabIndex = 13, .caption = L"取  消"},
}};

const std::array<win::ControlSpec, 9> BackburnerLayout{{
    {.kind = ControlKind::Label, .id = IdLabelManager, .name = L"LabelManager", .left = 120,
     .top = 240, .width = 1700, .height = 255, .tabIndex = 0, .caption = L"管理器名称："},
    {.kind = ControlKind::TextBox, .id = IdManager, .name = L"Manager", .left = 1860, .top = 200,
     .width = 3375, .height = 315, .tabIndex = 1},
    {.kind = ControlKind::Label, .id = IdLabelPort, .name = L"LabelPort", .left = 120, .top = 720,
     .width = 1700, .height = 255, .tabIndex = 2, .caption = L"端口："},
    {.kind = ControlKind::TextBox, .id = IdPort, .name = L"Port", .left = 1860, .top = 680,
     .width = 1000, .height = 315, .tabIndex = 3},
    {.kind = ControlKind::Label, .id = IdLabelPriority, .name = L"LabelPriority", .left = 120,
     .top = 1200, .width = 2800, .height = 255, .tabIndex = 4,
     .caption = L"优先级（0-100，0为最高）："},
    {.kind = ControlKind::TextBox, .id = IdPriority, .name = L"Priority", .left = 3000,
     .top = 1160, .width = 700, .height = 315, .tabIndex = 5},
    {.kind = ControlKind::CheckBox, .id = IdSuspended, .name = L"Suspended", .left = 120,
     .top = 1640, .width = 2400, .height = 315, .tabIndex = 6, .caption = L"提交后暂停"},
    {.kind = ControlKind::Button, .id = IdOk, .name = L"Ok", .left = 2400, .top = 2400,
     .width = 1300, .height = 420, .tabIndex = 7, .caption = L"确  定", .defaultButton = true},
    {.kind = ControlKind::Button, .id = IdCancel, .name = L"Cancel", .left = 3900, .top = 2400,
     .width = 1300, .height = 420, .tabIndex = 8, .caption = L"取  消"},
}};

bool AllDigits(const std::wstring& text) {
    return !text.empty() && text.size() <= 6 &&
           text.find_first_not_of(L"0123456789") == std::wstring::npos;
}

}  // namespace

const win::CommandRoute<FarmDialog> FarmDialog::Commands[] = {
    {IdOk, BN_CLICKED, &FarmDialog::onOkClicked},
    {IdCancel, BN_CLICKED, &FarmDialog::onCancelClicked},
    {IDCANCEL, BN_CLICKED, &FarmDialog::onCancelClicked},  // Escape
    {IdBrowse, BN_CLICKED, &FarmDialog::onBrowseClicked},
};

bool FarmDialog::create(HWND owner) {
    const bool deadline = way_ == RenderWay::Deadline;
    const std::span<const win::ControlSpec> layout =
        deadline ? std::span<const win::ControlSpec>(DeadlineLayout) : BackburnerLayout;
    if (!createForm(L"RavolenFarm", deadline ? L"提交到Deadline" : L"提交到Backburner", ClientWidth,
                    deadline ? DeadlineClientHeight : ClientHeight, 10.5, nullptr, owner) ||
        !createControls(layout)) {
        destroyWindow();
        return false;
    }
    if (deadline) {
        win::SetText(item(IdPath), deadline_.command);
        win::SetText(item(IdPool), deadline_.settings.pool);
        win::SetText(item(IdGroup), deadline_.settings.group);
        win::SetText(item(IdPriority), std::to_wstring(deadline_.settings.priority));
        win::SetText(item(IdTimeout), std::to_wstring(deadline_.settings.timeoutSeconds));
        win::SetChecked(item(IdSuspended), deadline_.settings.suspended);
    } else {
        win::SetText(item(IdManager), backburner_.manager);
        win::SetText(item(IdPort), std::to_wstring(backburner_.port));
        win::SetText(item(IdPriority), std::to_wstring(backburner_.priority));
        win::SetChecked(item(IdSuspended), backburner_.suspended);
    }
    ShowWindow(hwnd(), SW_SHOW);
    SetForegroundWindow(hwnd());
    return true;
}

bool FarmDialog::onCommand(int id, int code) {
    return win::RouteCommand<FarmDialog>(*this, Commands, id, code);
}

bool FarmDialog::refuse(int id, const wchar_t* message) {
    platform_.showMessage(message);
    SetFocus(item(id));
    SendMessageW(item(id), EM_SETSEL, 0, -1);
    return false;
}

std::optional<int> FarmDialog::number(int id, int lowest, int highest, const wchar_t* message) {
    const std::wstring text = win::WindowText(item(id));
    if (AllDigits(text)) {
        const int value = std::stoi(text);
        if (value >= lowest && value <= highest) return value;
    }
    refuse(id, message);
    return std::nullopt;
}

void FarmDialog::onOkClicked() {
    if (way_ == RenderWay::Deadline) {
        const std::wstring command = win::WindowText(item(IdPath));
        if (command.empty()) {
            refuse(IdPath, L"请填写deadlinecommand.exe的路径。");
            return;
        }
        const auto priority = number(IdPriority, 0, 100, L"优先级只能是0到100之间的整数。");
        if (!priority) return;
        const auto timeout =
            number(IdTimeout, 10, 3600, L"单个任务超时只能是10到3600之间的整数（秒）。");
        if (!timeout) return;
        deadline_ = {command,
                     {win::WindowText(item(IdPool)), win::WindowText(item(IdGroup)), *priority,
                      win::IsChecked(item(IdSuspended)), *timeout}};
    } else {
        const std::wstring manager = win::WindowText(item(IdManager));
        if (manager.empty()) {
            refuse(IdManager, L"请填写Backburner管理器的名称。");
            return;
        }
        if (manager.find_first_of(L"\"\r\n\t") != std::wstring::npos) {
            refuse(IdManager, L"管理器名称不能含有双引号或控制字符。");
            return;
        }
        const auto port = number(IdPort, 1, 65535, L"端口只能是1到65535之间的整数。");
        if (!port) return;
        const auto priority = number(IdPriority, 0, 100, L"优先级只能是0到100之间的整数。");
        if (!priority) return;
        backburner_ = {manager, *port, *priority, win::IsChecked(item(IdSuspended))};
    }
    ShowWindow(hwnd(), SW_HIDE);
    if (accepted_) accepted_();
}

void FarmDialog::onCancelClicked() { ShowWindow(hwnd(), SW_HIDE); }

void FarmDialog::onBrowseClicked() {
    const auto answer = platform_.openFiles(
        {L"请选择deadlinecommand.exe", L"deadlinecommand.exe|deadlinecommand.exe|程序 (*.exe)|*.exe",
         1, false});
    if (answer.size() == 1) win::SetText(item(IdPath), answer.front());
}

}  // namespace ravolen
