#include "win/Form.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>
#include <vector>

#include "win/Reflection.h"

namespace ravolen::win {
namespace {

// No WS_CLIPCHILDREN: a group box paints only its outline, and the window must paint inside it.
constexpr DWORD FormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;

// A drop-down combo box's window also holds its list: room for this many entries.
constexpr int ComboListEntries = 8;

struct WindowClass {
    const wchar_t* name;
    DWORD style;
    DWORD exStyle;
};

WindowClass ClassOf(const ControlSpec& entry) {
    switch (entry.kind) {
        case ControlKind::Frame: return {L"BUTTON", BS_GROUPBOX, 0};
        case ControlKind::Button:
            return {L"BUTTON",
                    static_cast<DWORD>(entry.defaultButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) |
                        WS_TABSTOP,
                    0};
        case ControlKind::Label: return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
        case ControlKind::TextBox:
            return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
        case ControlKind::CheckBox: return {L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0};
        case ControlKind::ComboBox:
            return {L"COMBOBOX", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 0};
        case ControlKind::ListView:
            return {WC_LISTVIEWW, LVS_REPORT | LVS_SHOWSELALWAYS | WS_TABSTOP, WS_EX_CLIENTEDGE};
        case ControlKind::Picture: return {L"STATIC", SS_BITMAP, 0};
    }
    return {L"STATIC", 0, 0};
}

bool IsPushButton(HWND control) {
    return (SendMessageW(control, WM_GETDLGCODE, 0, 0) &
            (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
}

}  // namespace

int ScreenDpi() {
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

Form::Form() : dpi_(ScreenDpi()) {}

Form::~Form() { destroyWindow(); }

HWND Form::control(std::wstring_view name) const {
    const auto found = controls_.find(name);
    return found == controls_.end() ? nullptr : item(found->second);
}

bool Form::createForm(const wchar_t* className, std::wstring_view caption, int clientWidthTwips,
                      int clientHeightTwips, double fontPoints, HMENU menu, HWND owner) {
    windowFontPoints_ = fontPoints;
    RECT bounds{0, 0, TwipsToPixels(clientWidthTwips, dpi_), TwipsToPixels(clientHeightTwips, dpi_)};
    AdjustWindowRectEx(&bounds, FormStyle, menu != nullptr, WS_EX_CONTROLPARENT);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const LONG width = bounds.right - bounds.left;
    const LONG height = bounds.bottom - bounds.top;
    const LONG left = work.left + std::max(0L, (work.right - work.left - width) / 2);
    const LONG top = work.top + std::max(0L, (work.bottom - work.top - height) / 2);
    const HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    const RECT placed{left, top, left + width, top + height};
    if (!createWindow(className, std::wstring(caption).c_str(), FormStyle, WS_EX_CONTROLPARENT,
                      placed, icon, menu, owner)) {
        if (menu) DestroyMenu(menu);
        return false;
    }
    // A menu bar too long for one line takes two; the client area keeps its size all the same.
    RECT client{};
    GetClientRect(hwnd(), &client);
    const LONG missing = TwipsToPixels(clientHeightTwips, dpi_) - client.bottom;
    if (missing > 0) {
        SetWindowPos(hwnd(), nullptr, 0, 0, width, height + missing,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SendMessageW(hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font({})), FALSE);
    return true;
}

bool Form::createControls(std::span<const ControlSpec> layout) {
    std::vector<const ControlSpec*> ordered;
    for (const ControlSpec& entry : layout) ordered.push_back(&entry);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](auto* a, auto* b) { return a->tabIndex < b->tabIndex; });

    const auto origin = [&](std::wstring_view container) {
        POINT at{0, 0};
        for (const ControlSpec& entry : layout) {
            if (!container.empty() && entry.name == container) at = {entry.left, entry.top};
        }
        return at;
    };

    const HINSTANCE instance = GetModuleHandleW(nullptr);
    for (const ControlSpec* entry : ordered) {
        const WindowClass windowClass = ClassOf(*entry);
        const POINT at = origin(entry->container);
        const int height = entry->kind == ControlKind::ComboBox
                               ? entry->height * (ComboListEntries + 1)
                               : entry->height;
        // Siblings overlap (a frame holds the controls drawn over it, the list's editor lies on
        // the list): each paints only where no sibling above it lies.
        const DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (entry->visible ? WS_VISIBLE : 0) |
                            windowClass.style | entry->style;
        const HWND hwndControl = CreateWindowExW(
            windowClass.exStyle, windowClass.name, std::wstring(entry->caption).c_str(), style,
            TwipsToPixels(at.x + entry->left, dpi_), TwipsToPixels(at.y + entry->top, dpi_),
            TwipsToPixels(entry->width, dpi_), TwipsToPixels(height, dpi_), hwnd(),
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(entry->id)), instance, nullptr);
        if (!hwndControl) return false;
        controls_.emplace(std::wstring(entry->name), entry->id);
        SendMessageW(hwndControl, WM_SETFONT, reinterpret_cast<WPARAM>(font(entry->font)), FALSE);
        if (entry->textColour) {
            textColours_[hwndControl] = *entry->textColour;
            // A themed check box draws its text in the theme's colour whatever WM_CTLCOLOR says.
            if (entry->kind == ControlKind::CheckBox) SetWindowTheme(hwndControl, L"", L"");
        }
        if (entry->listViewExStyle) {
            SendMessageW(hwndControl, LVM_SETEXTENDEDLISTVIEWSTYLE, entry->listViewExStyle,
                         entry->listViewExStyle);
        }
        if (entry->defaultButton) defaultButton_ = entry->id;
        if (!entry->tooltip.empty()) addTooltip(hwndControl, entry->tooltip);
    }

    // Creation in tab order leaves the first created on top; containers go below what they hold.
    for (const ControlSpec& entry : layout) {
        const HWND hwndControl = control(entry.name);
        if (entry.kind == ControlKind::Frame || entry.onTop) {
            SetWindowPos(hwndControl, entry.onTop ? HWND_TOP : HWND_BOTTOM, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
    return true;
}

HFONT Form::font(FontSpec style) {
    const double points = style.points > 0 ? style.points : windowFontPoints_;
    const std::pair key{static_cast<int>(points * 10 + 0.5), style.bold};
    FontHandle& cached = fonts_[key];
    if (!cached) {
        cached.reset(CreateFontW(-MulDiv(key.first, dpi_, 720), 0, 0, 0,
                                 style.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                 GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"宋体"));
    }
    return cached.get();
}

void Form::addTooltip(HWND control, std::wstring_view text) {
    if (!tooltip_) {
        tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                   WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
        if (!tooltip_) return;  // the window works without its hints
        SendMessageW(tooltip_, WM_SETFONT, reinterpret_cast<WPARAM>(font({9, false})), FALSE);
    }
    std::wstring buffer(text);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = buffer.data();
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

bool Form::onCommand(int, int) { return false; }
std::optional<LRESULT> Form::onNotify(NMHDR&) { return std::nullopt; }
void Form::onTimer(UINT_PTR) {}

// The dialog manager presses this button on Enter: the focused push button, as in a dialog box,
// or else the window's default button.
LRESULT Form::defaultButton() const {
    const HWND focused = GetFocus();
    if (focused && IsChild(hwnd(), focused) && IsPushButton(focused)) {
        return MAKELRESULT(GetDlgCtrlID(focused), DC_HASDEFID);
    }
    return defaultButton_ ? MAKELRESULT(defaultButton_, DC_HASDEFID) : 0;
}

LRESULT Form::colour(UINT message, HDC dc, HWND control) {
    if (Reflector* reflector = ReflectorOf(control)) {
        if (const HBRUSH brush = reflector->reflectColour(control, dc)) {
            return reinterpret_cast<LRESULT>(brush);
        }
    }
    if (message != WM_CTLCOLORSTATIC && message != WM_CTLCOLORBTN) {
        return Window::onMessage(message, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(control));
    }
    // Outside a dialog, DefWindowProc would paint labels and check boxes window-white.
    const auto found = textColours_.find(control);
    if (found != textColours_.end()) SetTextColor(dc, found->second);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT Form::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const auto control = reinterpret_cast<HWND>(lParam);
            const int code = HIWORD(wParam);
            if (Reflector* reflector = ReflectorOf(control)) {
                if (reflector->reflectCommand(control, code)) return 0;
            }
            onCommand(LOWORD(wParam), code);
            return 0;
        }
        case WM_NOTIFY: {
            auto& header = *reinterpret_cast<NMHDR*>(lParam);
            if (Reflector* reflector = ReflectorOf(header.hwndFrom)) {
                if (const auto answer = reflector->reflectNotify(header)) return *answer;
            }
            if (const auto answer = onNotify(header)) return *answer;
            break;
        }
        case WM_TIMER: onTimer(wParam); return 0;
        // The window's fonts go with it, not with its object, which may outlive it (a dialog
        // closed by its close box). No control paints once its parent is being destroyed.
        case WM_DESTROY:
            fonts_.clear();
            textColours_.clear();
            tooltip_ = nullptr;
            focus_ = nullptr;
            break;
        case DM_GETDEFID: return defaultButton();
        // A window that is not a dialog must keep its controls' focus across activation itself.
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                const HWND focused = GetFocus();
                if (focused && IsChild(hwnd(), focused)) focus_ = focused;
            }
            break;  // activating, DefWindowProc focuses the window, and WM_SETFOCUS passes it on
        case WM_SETFOCUS:
            if (focus_ && IsWindow(focus_) && IsWindowEnabled(focus_) && IsWindowVisible(focus_)) {
                SetFocus(focus_);
            } else if (const HWND first = GetNextDlgTabItem(hwnd(), nullptr, FALSE)) {
                SetFocus(first);  // also where the keyboard starts
            }
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
            return colour(message, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        default: break;
    }
    return Window::onMessage(message, wParam, lParam);
}

}  // namespace ravolen::win
