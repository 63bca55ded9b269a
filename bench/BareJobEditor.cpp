#include "BareJobEditor.h"

#include <windows.h>
#include <commctrl.h>

namespace ravolen::bench {
namespace {

struct Bare {
    const wchar_t* windowClass;
    DWORD style;
    DWORD exStyle;
    int left, top, width, height;  // twips, as the job editor's layout gives them
    const wchar_t* text;
    int tenthsOfPoint;
};

constexpr DWORD Label = SS_LEFT | SS_NOPREFIX;
constexpr DWORD Edit = ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD Push = BS_PUSHBUTTON | WS_TABSTOP;

// In tab order.
const Bare Controls[] = {
    {L"EDIT", Edit, WS_EX_CLIENTEDGE, 120, 600, 3255, 375, L"", 105},
    {L"BUTTON", Push, 0, 3720, 600, 1215, 375, L"添加Max...", 90},
    {L"STATIC", Label, 0, 240, 1080, 975, 255, L"渲染相机:", 105},
    {L"EDIT", Edit, WS_EX_CLIENTEDGE, 1320, 1065, 2055, 315, L"", 105},
    {L"STATIC", Label, 0, 240, 1455, 975, 255, L"出图路径:", 105},
    {L"EDIT", Edit, WS_EX_CLIENTEDGE, 1320, 1440, 2055, 315, L"C:\\renderOutput", 105},
    {L"STATIC", Label, 0, 240, 2535, 975, 255, L"图片格式:", 105},
    {L"STATIC", Label, 0, 240, 1815, 975, 255, L"出图尺寸:", 105},
    {L"EDIT", Edit, WS_EX_CLIENTEDGE, 1680, 1800, 615, 315, L"", 105},
    {L"STATIC", Label, 0, 1320, 1815, 375, 255, L"长:", 105},
    {L"EDIT", Edit, WS_EX_CLIENTEDGE, 2760, 1800, 615, 315, L"", 105},
    {L"STATIC", Label, 0, 2400, 1815, 375, 255, L"宽:", 105},
    {L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 240, 3000, 1455, 495, L"确  定", 105},
    {L"BUTTON", Push, 0, 3360, 3000, 1455, 495, L"取  消", 105},
    {L"EDIT", Edit, WS_EX_CLIENTEDGE, 1320, 2160, 2055, 315, L"", 105},
    {L"BUTTON", Push, 0, 3720, 1365, 1215, 375, L"更改路径...", 90},
    {L"STATIC", Label, 0, 120, 240, 4695, 255, L"注意：* 为必填项，其它设为空则为MAX默认值", 105},
    {L"STATIC", Label, 0, 2350, 2520, 255, 255, L"*", 143},
    {L"STATIC", Label, 0, 3480, 600, 255, 255, L"*", 143},
    {L"STATIC", Label, 0, 3480, 1130, 1695, 255, L"空则为MAX激活视窗", 90},
    {L"STATIC", Label, 0, 3480, 1850, 1695, 255, L"空则为MAX设置尺寸", 90},
    {L"STATIC", Label, 0, 240, 2175, 975, 255, L"出图名称:", 105},
    {L"STATIC", Label, 0, 3720, 2205, 1215, 255, L"保存图片名称", 90},
    {L"STATIC", Label, 0, 3480, 1440, 255, 255, L"*", 143},
    {L"COMBOBOX", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 0, 1320, 2520, 975,
     2700, L".tga", 90},
    {L"STATIC", Label, 0, 2570, 2560, 2535, 255, L"可自行输入规范的图片后缀名", 90},
    {L"STATIC", Label, 0, 3480, 2160, 135, 255, L"*", 143},
};

const wchar_t* const Formats[] = {L".tga", L".jpg", L".bmp", L".png", L".tif", L".hdr"};

LRESULT CALLBACK DigitsOnly(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                            DWORD_PTR) {
    if (message == WM_CHAR && !(wParam >= L'0' && wParam <= L'9') && wParam != 8) return 0;
    return DefSubclassProc(edit, message, wParam, lParam);
}

// The window's fonts, deleted with it.
struct BareFonts {
    HFONT fonts[3];
};

LRESULT CALLBACK BareEditorProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCDESTROY) {
        if (auto* owned = reinterpret_cast<BareFonts*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
            for (const HFONT f : owned->fonts) DeleteObject(f);
            delete owned;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND OpenBareJobEditor(HWND owner) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = BareEditorProcedure;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"RavolenBenchBareEditor";
    RegisterClassW(&windowClass);  // fails harmlessly from the second time on

    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const auto px = [dpi](int twips) { return MulDiv(twips, dpi, 1440); };
    const auto font = [dpi](int tenths) {
        return CreateFontW(-MulDiv(tenths, dpi, 720), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                           GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"宋体");
    };
    auto* owned = new BareFonts{{font(90), font(105), font(143)}};
    const HFONT* fonts = owned->fonts;

    RECT bounds{0, 0, px(5085), px(3615)};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    AdjustWindowRectEx(&bounds, style, FALSE, WS_EX_CONTROLPARENT);
    const HWND window = CreateWindowExW(WS_EX_CONTROLPARENT, L"RavolenBenchBareEditor",
                                        L"添加MAX文件及设置", style, 100, 100,
                                        bounds.right - bounds.left, bounds.bottom - bounds.top,
                                        owner, nullptr, instance, nullptr);
    if (!window) {
        for (const HFONT f : owned->fonts) DeleteObject(f);
        delete owned;
        return nullptr;
    }
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owned));
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(fonts[0]), FALSE);
    const HWND tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                         WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window,
                                         nullptr, instance, nullptr);
    int id = 2001;
    for (const Bare& c : Controls) {
        const HWND control = CreateWindowExW(
            c.exStyle, c.windowClass, c.text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | c.style,
            px(c.left), px(c.top), px(c.width), px(c.height), window,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), instance, nullptr);
        const HFONT chosen = c.tenthsOfPoint == 143 ? fonts[2]
                             : c.tenthsOfPoint == 105 ? fonts[1]
                                                      : fonts[0];
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(chosen), FALSE);
        if (lstrcmpW(c.windowClass, L"COMBOBOX") == 0) {
            for (const wchar_t* format : Formats) {
                SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(format));
            }
        }
        if (c.width == 615) SetWindowSubclass(control, &DigitsOnly, 1, 0);  // the size boxes
        if (lstrcmpW(c.text, L"更改路径...") == 0) {
            wchar_t tip[] = L"选择渲染完的图片保存路径，空则为默认路径";
            TTTOOLINFOW tool{};
            tool.cbSize = sizeof tool;
            tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            tool.hwnd = window;
            tool.uId = reinterpret_cast<UINT_PTR>(control);
            tool.lpszText = tip;
            SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    return window;
}

void OpenAndCloseBareJobEditor() {
    const HWND window = OpenBareJobEditor(nullptr);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    SendMessageW(window, WM_CLOSE, 0, 0);  // DefWindowProc destroys it, as the close box does
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

}  // namespace ravolen::bench
