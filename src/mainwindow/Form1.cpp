#include "mainwindow/Form1.h"

#include <commctrl.h>

#include <array>

#include "render/RenderCommand.h"
#include "win/Controls.h"

namespace ravolen {
namespace {

using win::ControlKind;
using win::ControlSpec;

enum ControlId : int {  // clear of IDOK and IDCANCEL, which IsDialogMessage sends on Enter and Esc
    IdFrame1 = 1001,
    IdCommand1,
    IdLabel1,
    IdText1,
    IdCheck1,
    IdListView1,
};

constexpr COLORREF Red = RGB(255, 0, 0);

const std::array<ControlSpec, 6> Layout{{
    {ControlKind::Frame, IdFrame1, L"Frame1", L"", 0, 120, 10215, 5055, 0, L"设置", {9}},
    {ControlKind::Button, IdCommand1, L"Command1", L"", 0, 5160, 4335, 855, 1, L"渲  染", {18, true},
     {}, L"点击此按钮立即开始批量渲染，请耐心等待。。。"},
    {ControlKind::Label, IdLabel1, L"Label1", L"Frame1", 600, 240, 1935, 255, 2,
     L"3dsMax的安装路径："},
    {ControlKind::TextBox, IdText1, L"Text1", L"Frame1", 2520, 200, 5655, 315, 3,
     L"D:\\Program Files\\Autodesk\\3ds Max 2012"},
    {ControlKind::CheckBox, IdCheck1, L"Check1", L"Frame1", 120, 4750, 2535, 210, 5,
     L"渲染完成后自动关机", {}, Red},
    {ControlKind::ListView, IdListView1, L"ListView1", L"Frame1", 120, 1920, 9975, 2790, 22, L""},
}};

constexpr int ClientWidth = 10200;
constexpr int ClientHeight = 6045;
constexpr double WindowFontPoints = 10.5;

int ColumnFormat(ColumnAlign align) {
    switch (align) {
        case ColumnAlign::Right: return LVCFMT_RIGHT;
        case ColumnAlign::Centre: return LVCFMT_CENTER;
        case ColumnAlign::Left: break;
    }
    return LVCFMT_LEFT;
}

}  // namespace

bool Form1::create() {
    if (!createForm(L"RavolenForm1", L"RavolenV1.0    --Quorth", ClientWidth, ClientHeight,
                    WindowFontPoints)) {
        return false;
    }
    createControls(Layout);
    Form_Load();
    return true;
}

void Form1::Form_Load() {
    const HWND listView = control(L"ListView1");
    ListView_SetExtendedListViewStyle(
        listView, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    win::ListView list(listView);
    for (const JobColumn& column : JobColumns) {
        list.addColumn(column.caption, win::TwipsToPixels(column.widthTwips, dpi()),
                       ColumnFormat(column.align));
    }
}

LRESULT Form1::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // The program lives as long as its main window.
    if (message == WM_DESTROY) PostQuitMessage(0);
    return Form::onMessage(message, wParam, lParam);
}

void Form1::onCommand(int id, int code) {
    struct Handler {
        int id;
        void (Form1::*click)();
    };
    static constexpr Handler Handlers[] = {
        {IdCommand1, &Form1::Command1_Click},
    };
    if (code != BN_CLICKED) return;
    for (const Handler& handler : Handlers) {
        if (handler.id == id) (this->*handler.click)();
    }
}

void Form1::Command1_Click() {
    const RenderRequest request{win::WindowText(control(L"Text1")), jobs().all(),
                                win::IsChecked(control(L"Check1"))};
    if (!StartRender(platform_, request)) return;
    win::DisableControl(control(L"Command1"));
    platform_.showMessage(std::wstring(RenderStartedMessage));
}

}  // namespace ravolen
