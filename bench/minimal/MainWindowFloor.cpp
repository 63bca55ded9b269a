#include "MainWindowFloor.h"

#include <commctrl.h>
#include <uxtheme.h>

namespace ravolen::bench {
namespace {

// One control: class, own styles, twips (inside the frame when `framed`), caption, font, hint.
struct Floor {
    const wchar_t* windowClass;
    DWORD style;
    bool framed;
    int left, top, width, height;
    const wchar_t* text;
    int tenths;  // of a point; 0: the window's 10.5 pt
    bool bold;
    const wchar_t* hint;
};

constexpr DWORD Push = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD Label = SS_LEFT | SS_NOPREFIX;
constexpr DWORD Edit = ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD Check = BS_AUTOCHECKBOX | WS_TABSTOP;

// The main window's layout numbers, in tab order.
const Floor Controls[] = {
    {L"BUTTON", BS_GROUPBOX, false, 0, 120, 10215, 5055, L"设置", 90, false, nullptr},
    {L"BUTTON", Push, false, 0, 5160, 4335, 855, L"渲  染", 180, true, L"点击此按钮立即开始批量渲染，请耐心等待。。。"},
    {L"STATIC", Label, true, 600, 240, 1935, 255, L"3dsMax的安装路径：", 0, false, nullptr},
    {L"EDIT", Edit, true, 2520, 200, 5655, 315, L"D:\\Program Files\\Autodesk\\3ds Max 2012", 0, false, nullptr},
    {L"STATIC", Label, true, 120, 1680, 1455, 255, L"Max文件路径：", 0, false, nullptr},
    {L"BUTTON", Check, true, 120, 4750, 2535, 210, L"渲染完成后自动关机", 0, false, nullptr},
    {L"BUTTON", Push, true, 7200, 1485, 855, 375, L"+", 120, true, L"添加单个Max文件路径，并设置"},
    {L"BUTTON", Push, true, 8040, 1485, 855, 375, L"-", 120, true, L"删除勾选的Max文件路径"},
    {L"BUTTON", Push, true, 8280, 150, 1695, 375, L"指定MAX安装路径", 90, false, nullptr},
    {L"BUTTON", Push, true, 5640, 1485, 1095, 375, L"快速添加", 90, false, L"可以一次添加多个Max文件路径"},
    {L"BUTTON", Push, true, 9360, 1485, 615, 375, L"清空", 0, false, L"清空表单"},
    {L"BUTTON", Push, false, 5880, 5160, 4335, 855, L"退  出", 180, true, nullptr},
    {L"STATIC", Label, true, 600, 600, 1935, 255, L"统一渲染出图路径：", 0, false, nullptr},
    {L"EDIT", Edit, true, 2520, 580, 5655, 315, L"C:\\renderOutput", 0, false, nullptr},
    {L"EDIT", Edit, true, 2520, 960, 735, 315, L".tga", 0, false, nullptr},
    {L"STATIC", Label, true, 600, 975, 1995, 255, L"统一保存图片格式：", 0, false, nullptr},
    {L"STATIC", Label, true, 3360, 1005, 6735, 255, L"请输入正规图片格式： .jpg / .tga / .bmp / .png / .tif / .hdr ...", 0, false, nullptr},
    {L"BUTTON", Push, true, 8280, 550, 1695, 375, L"指定渲染出图路径", 90, false, nullptr},
    {L"STATIC", Label, true, 1440, 1680, 1455, 255, L"一共100个文件", 90, false, nullptr},
    {L"EDIT", Edit, true, 6360, 2880, 615, 495, L"", 0, false, nullptr},
    {WC_LISTVIEWW, LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL | WS_TABSTOP, true, 120, 1920, 9975, 2790, L"", 0, false, nullptr},
    {L"BUTTON", Push, false, 4440, 5640, 1335, 375, L"取消关机", 0, false, L"当倒计时关机时，此按钮可以用来解除关机"},
    {L"BUTTON", Check, true, 240, 520, 255, 375, L"", 120, false, nullptr},
    {L"BUTTON", Check, true, 240, 880, 255, 375, L"", 120, false, nullptr},
    {L"STATIC", Label, true, 2880, 1680, 2655, 255, L"XXXX.max", 90, false, nullptr},
    {L"BUTTON", Push, false, 4440, 5160, 1335, 375, L"取消渲染", 0, false, L"当渲染已经开始时，可以取消正在进行的渲染任务"},
};

struct FloorColumn {
    const wchar_t* caption;
    int twips;
    int format;
};
const FloorColumn Columns[] = {{L"Max文件", 3800, LVCFMT_LEFT}, {L"相机", 1000, LVCFMT_CENTER},
                               {L"出图路径", 2500, LVCFMT_LEFT}, {L"出图文件名", 1400, LVCFMT_LEFT},
                               {L"长", 600, LVCFMT_CENTER},     {L"宽", 600, LVCFMT_CENTER}};

HMENU MenuBar() {
    const HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, 1, L"打开任务列表(&O)…\tCtrl+O");
    AppendMenuW(file, MF_STRING, 2, L"保存任务列表(&S)…\tCtrl+S");
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file, MF_STRING, 3, L"退出(&X)");
    const HMENU versions = CreatePopupMenu();
    AppendMenuW(versions, MF_STRING | MF_GRAYED, 4, L"未找到3dsMax");
    const HMENU ways = CreatePopupMenu();
    AppendMenuW(ways, MF_STRING, 5, L"本机渲染");
    AppendMenuW(ways, MF_STRING, 6, L"提交到Deadline…");
    AppendMenuW(ways, MF_STRING, 7, L"提交到Backburner…");
    CheckMenuRadioItem(ways, 5, 7, 5, MF_BYCOMMAND);
    const HMENU render = CreatePopupMenu();
    AppendMenuW(render, MF_STRING, 8, L"渲染结果(&V)…");
    AppendMenuW(render, MF_POPUP, reinterpret_cast<UINT_PTR>(versions), L"3dsMax版本");
    AppendMenuW(render, MF_POPUP, reinterpret_cast<UINT_PTR>(ways), L"渲染方式");
    const HMENU bar = CreateMenu();
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"文件(&F)");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(render), L"渲染(&R)");
    return bar;
}

}  // namespace

HWND CreateMainWindowFloor(HINSTANCE instance, WNDPROC procedure, DWORD listStyle) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"RavolenFloor";
    RegisterClassW(&windowClass);

    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const auto px = [dpi](int twips) { return MulDiv(twips, dpi, 1440); };
    const auto font = [dpi](int tenths, bool bold) {
        return CreateFontW(-MulDiv(tenths, dpi, 720), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE,
                           FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"宋体");
    };
    const HFONT normal = font(105, false), small = font(90, false), large = font(120, false),
                largeBold = font(120, true), huge = font(180, true);

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    RECT bounds{0, 0, px(10200), px(6045)};
    AdjustWindowRectEx(&bounds, style, TRUE, WS_EX_CONTROLPARENT);
    const HWND window = CreateWindowExW(WS_EX_CONTROLPARENT, L"RavolenFloor",
                                        L"RavolenV1.0    --Quorth", style, CW_USEDEFAULT,
                                        CW_USEDEFAULT, bounds.right - bounds.left,
                                        bounds.bottom - bounds.top, nullptr, MenuBar(), instance,
                                        nullptr);
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(normal), FALSE);
    const HWND tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                         WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window,
                                         nullptr, instance, nullptr);
    SendMessageW(tooltip, WM_SETFONT, reinterpret_cast<WPARAM>(small), FALSE);
    int id = 1001;
    for (const Floor& c : Controls) {
        const int y = c.framed ? 120 : 0;  // the frame's corner
        const bool isList = lstrcmpW(c.windowClass, WC_LISTVIEWW) == 0;
        const bool sunken = lstrcmpW(c.windowClass, L"EDIT") == 0 || isList;
        const HWND control = CreateWindowExW(
            sunken ? WS_EX_CLIENTEDGE : 0, c.windowClass, c.text,
            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | c.style | (isList ? listStyle : 0),
            px(c.left), px(y + c.top), px(c.width), px(c.height), window,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(isList ? ListId : id)), instance, nullptr);
        ++id;
        const HFONT chosen = c.tenths == 90    ? small
                             : c.tenths == 180 ? huge
                             : c.tenths == 120 ? (c.bold ? largeBold : large)
                                               : normal;
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(chosen), FALSE);
        if (c.hint) {
            TTTOOLINFOW tool{};
            tool.cbSize = sizeof tool;
            tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            tool.hwnd = window;
            tool.uId = reinterpret_cast<UINT_PTR>(control);
            tool.lpszText = const_cast<wchar_t*>(c.hint);
            SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
    }
    SetWindowTheme(GetDlgItem(window, 1006), L"", L"");  // the red check box
    SetWindowPos(GetDlgItem(window, 1001), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    const HWND list = GetDlgItem(window, ListId);
    const DWORD extended = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    for (int i = 0; i < 6; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = Columns[i].format;
        column.cx = px(Columns[i].twips);
        column.pszText = const_cast<wchar_t*>(Columns[i].caption);
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&column));
    }
    return window;
}

}  // namespace ravolen::bench
