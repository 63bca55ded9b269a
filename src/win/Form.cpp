#include "win/Form.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "win/ListView.h"
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
    }
    return {L"STATIC", 0, 0};
}

// Functions of Windows 10 1607 and later, found at run time: on Windows 7 and 8 every window
// lays out at the screen's DPI, as it always did.
struct DpiFunctions {
    UINT(WINAPI* getDpiForWindow)(HWND) = nullptr;
    BOOL(WINAPI* adjustWindowRectExForDpi)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
};

template <typename Function>
void Find(HMODULE module, const char* name, Function& function) {
    // Through a function pointer without parameters, which any function pointer converts to.
    function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const DpiFunctions& Dpi() {
    static const DpiFunctions functions = [] {
        DpiFunctions found;
        if (const HMODULE user = GetModuleHandleW(L"user32.dll")) {
            Find(user, "GetDpiForWindow", found.getDpiForWindow);
            Find(user, "AdjustWindowRectExForDpi", found.adjustWindowRectExForDpi);
        }
        return found;
    }();
    return functions;
}

// Messages of Windows 8.1 and 10, which the headers name only for those versions.
constexpr UINT DpiChangedMessage = 0x02E0;        // WM_DPICHANGED
constexpr UINT GetDpiScaledSizeMessage = 0x02E4;  // WM_GETDPISCALEDSIZE

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

int WindowDpi(HWND hwnd) {
    const UINT dpi = hwnd && Dpi().getDpiForWindow ? Dpi().getDpiForWindow(hwnd) : 0;
    return dpi > 0 ? static_cast<int>(dpi) : ScreenDpi();
}

void AdjustWindowRectForDpi(RECT& rect, DWORD style, bool menu, DWORD exStyle, int dpi) {
    if (!Dpi().adjustWindowRectExForDpi ||
        !Dpi().adjustWindowRectExForDpi(&rect, style, menu, exStyle, static_cast<UINT>(dpi))) {
        AdjustWindowRectEx(&rect, style, menu, exStyle);
    }
}

InkSpan TextInk(HDC dc, std::wstring_view text) {
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    constexpr MAT2 Identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    std::optional<InkSpan> ink;
    for (const wchar_t c : text) {
        GLYPHMETRICS glyph{};
        if (GetGlyphOutlineW(dc, c, GGO_METRICS, &glyph, 0, nullptr, &Identity) == GDI_ERROR ||
            glyph.gmBlackBoxY == 0 || c == L' ') {
            continue;
        }
        const int top = metrics.tmAscent - glyph.gmptGlyphOrigin.y;
        const int bottom = top + static_cast<int>(glyph.gmBlackBoxY);
        ink = ink ? InkSpan{std::min(ink->top, top), std::max(ink->bottom, bottom)}
                  : InkSpan{top, bottom};
    }
    return ink.value_or(InkSpan{});
}

SIZE CaptionRoom(ControlKind kind, SIZE control, int dpi) {
    const auto scaled = [dpi](int pixelsAt96) { return MulDiv(pixelsAt96, dpi, 96); };
    switch (kind) {
        // The button's edges and the focus rectangle inside them.
        case ControlKind::Button:
            return {control.cx - 2 * scaled(3), control.cy - 2 * scaled(2)};
        // The box and the gap before the text.
        case ControlKind::CheckBox: return {control.cx - scaled(17), control.cy};
        // The caption sits on the frame's top line, inset from its corners.
        case ControlKind::Frame: return {control.cx - 2 * scaled(8), control.cy};
        default: return control;
    }
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
    clientWidthTwips_ = clientWidthTwips;
    clientHeightTwips_ = clientHeightTwips;
    menu_ = menu != nullptr;
    // Placed for the screen's DPI; createControls lays it out for its monitor's.
    RECT bounds{0, 0, TwipsToPixels(clientWidthTwips, dpi_), TwipsToPixels(clientHeightTwips, dpi_)};
    AdjustWindowRectEx(&bounds, FormStyle, menu_, WS_EX_CONTROLPARENT);
    const HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    if (!createWindow(className, std::wstring(caption).c_str(), FormStyle, WS_EX_CONTROLPARENT,
                      bounds, icon, menu, owner)) {
        if (menu) DestroyMenu(menu);
        return false;
    }
    dpi_ = WindowDpi(hwnd());
    SendMessageW(hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font({})), FALSE);
    return true;
}

bool Form::createControls(std::span<const ControlSpec> layout) {
    layout_ = layout;
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
    arrange(dpi_, std::nullopt);
    return true;
}

void Form::onDpiChanged(int) {}

void Form::layOutFor(int dpi, const RECT* suggested) {
    if (dpi <= 0) return;
    RECT window{};
    GetWindowRect(hwnd(), &window);
    arrange(dpi, suggested ? POINT{suggested->left, suggested->top} : POINT{window.left, window.top});
}

std::vector<RECT> Form::placeControls(int dpi) {
    const auto origin = [&](std::wstring_view container) {
        POINT at{0, 0};
        for (const ControlSpec& entry : layout_) {
            if (!container.empty() && entry.name == container) at = {entry.left, entry.top};
        }
        return at;
    };
    std::vector<RECT> rects;
    for (const ControlSpec& entry : layout_) {
        const POINT at = origin(entry.container);
        const int left = TwipsToPixels(at.x + entry.left, dpi);
        const int top = TwipsToPixels(at.y + entry.top, dpi);
        // What the table puts past the client area was never seen: it is cut off at its edge.
        rects.push_back({left, top,
                         std::min(left + TwipsToPixels(entry.width, dpi),
                                  TwipsToPixels(clientWidthTwips_, dpi)),
                         std::min(top + TwipsToPixels(entry.height, dpi),
                                  TwipsToPixels(clientHeightTwips_, dpi))});
    }

    // Fonts do not grow in step with the twips (their sizes are rounded to whole pixels), so a
    // caption that just fits at one scale may not at another: there its control grows to the
    // right, and what lies right of it on the same line moves along; its container widens.
    const HDC dc = GetDC(hwnd());
    if (!dc) return rects;
    const HGDIOBJ original = GetCurrentObject(dc, OBJ_FONT);
    for (std::size_t i = 0; i < layout_.size(); ++i) {
        const ControlSpec& entry = layout_[i];
        if (entry.caption.empty() || (entry.kind != ControlKind::Label &&
                                      entry.kind != ControlKind::Button &&
                                      entry.kind != ControlKind::CheckBox)) {
            continue;
        }
        SelectObject(dc, font(entry.font, dpi));
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        const RECT& rect = rects[i];
        const SIZE room =
            CaptionRoom(entry.kind, {rect.right - rect.left, rect.bottom - rect.top}, dpi);
        // A label of several lines wraps its words instead.
        if (entry.kind == ControlKind::Label && room.cy >= 2 * metrics.tmHeight) continue;
        // A label's line starts at its top, a button's and check box's is centred: the ink
        // must lie inside.
        const InkSpan ink = TextInk(dc, entry.caption);
        const LONG low = entry.kind == ControlKind::Label ? ink.bottom - room.cy
                                                          : ink.bottom - ink.top - room.cy;
        if (low > 0) {
            rects[i].bottom += low;
            for (std::size_t j = 0; j < layout_.size(); ++j) {
                if (layout_[j].name == entry.container && rects[j].bottom < rects[i].bottom) {
                    rects[j].bottom = rects[i].bottom;
                }
            }
        }
        RECT text{};
        DrawTextW(dc, entry.caption.data(), static_cast<int>(entry.caption.size()), &text,
                  DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        const LONG missing = text.right - room.cx;
        if (missing <= 0) continue;

        const LONG oldRight = rects[i].right;
        rects[i].right += missing;
        std::vector<bool> moves(layout_.size(), false);
        for (std::size_t j = 0; j < layout_.size(); ++j) {
            if (j == i) continue;
            if (layout_[j].name == entry.container) {
                if (rects[j].right >= oldRight) rects[j].right += missing;
            } else if (rects[j].left >= oldRight && rects[j].top < rects[i].bottom &&
                       rects[j].bottom > rects[i].top) {
                moves[j] = true;
            }
        }
        for (std::size_t j = 0; j < layout_.size(); ++j) {  // a container takes what it holds
            if (!moves[j] || layout_[j].kind != ControlKind::Frame) continue;
            for (std::size_t k = 0; k < layout_.size(); ++k) {
                if (layout_[k].container == layout_[j].name) moves[k] = true;
            }
        }
        for (std::size_t j = 0; j < layout_.size(); ++j) {
            if (moves[j]) OffsetRect(&rects[j], missing, 0);
        }
    }
    SelectObject(dc, original);
    ReleaseDC(hwnd(), dc);

    // Right edges the table lines up (the frame's and 退  出's, a label's and the list's below it)
    // stay lined up where one of them grew: the designed margins hold at every scale.
    std::vector<int> designedRight(layout_.size());
    for (std::size_t i = 0; i < layout_.size(); ++i) {
        designedRight[i] = origin(layout_[i].container).x + layout_[i].left + layout_[i].width;
    }
    for (std::size_t i = 0; i < layout_.size(); ++i) {
        for (std::size_t j = 0; j < layout_.size(); ++j) {
            if (designedRight[j] == designedRight[i] && rects[j].right > rects[i].right &&
                layout_[i].kind != ControlKind::Label && layout_[i].kind != ControlKind::CheckBox) {
                rects[i].right = rects[j].right;
            }
        }
    }
    // A control set on a frame's bottom line (within a pixel at 96 dpi) lies on it by no more
    // than that pixel at any scale: rounding would otherwise push it into the frame.
    constexpr int TouchTwips = 15;
    for (std::size_t f = 0; f < layout_.size(); ++f) {
        if (layout_[f].kind != ControlKind::Frame || !layout_[f].container.empty()) continue;
        const int frameBottom = layout_[f].top + layout_[f].height;
        for (std::size_t j = 0; j < layout_.size(); ++j) {
            const ControlSpec& below = layout_[j];
            if (j == f || !below.container.empty() || below.top > frameBottom ||
                below.top < frameBottom - TouchTwips || rects[j].left >= rects[f].right ||
                rects[j].right <= rects[f].left) {
                continue;
            }
            rects[f].bottom = std::min(rects[f].bottom, rects[j].top + 1);
        }
    }
    return rects;
}

// The designed client area, or more where captions made the controls reach further.
SIZE Form::clientSizeFor(const std::vector<RECT>& controls, int dpi) const {
    SIZE size{TwipsToPixels(clientWidthTwips_, dpi), TwipsToPixels(clientHeightTwips_, dpi)};
    for (const RECT& rect : controls) {
        size.cx = std::max(size.cx, rect.right);
        size.cy = std::max(size.cy, rect.bottom);
    }
    return size;
}

SIZE Form::windowSizeFor(int dpi) {
    const SIZE client = clientSizeFor(placeControls(dpi), dpi);
    RECT bounds{0, 0, client.cx, client.cy};
    AdjustWindowRectForDpi(bounds, style(), menu_, WS_EX_CONTROLPARENT, dpi);
    return {bounds.right - bounds.left, bounds.bottom - bounds.top};
}

DWORD Form::style() const { return FormStyle | (resizable_ ? WS_THICKFRAME | WS_MAXIMIZEBOX : 0); }

void Form::allowResizing() {
    resizable_ = true;
    SetWindowLongPtrW(hwnd(), GWL_STYLE,
                      GetWindowLongPtrW(hwnd(), GWL_STYLE) | WS_THICKFRAME | WS_MAXIMIZEBOX);
    SetWindowPos(hwnd(), nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::onResized() {}

// From what the window keeps of the artist's choice, so that it is known after the window went.
SIZE Form::chosenSizeTwips() const {
    if (!resizable_ || (extraTwips_.cx <= 0 && extraTwips_.cy <= 0)) return {0, 0};
    return {static_cast<LONG>(PixelsToTwips(designedClient_.cx, dpi_) + 0.5) + std::max(0L, extraTwips_.cx),
            static_cast<LONG>(PixelsToTwips(designedClient_.cy, dpi_) + 0.5) + std::max(0L, extraTwips_.cy)};
}

void Form::chooseSizeTwips(SIZE twips) {
    if (!resizable_) return;
    const auto designed = [this](LONG pixels) { return static_cast<LONG>(PixelsToTwips(pixels, dpi_) + 0.5); };
    extraTwips_ = {std::max(0L, twips.cx - designed(designedClient_.cx)),
                   std::max(0L, twips.cy - designed(designedClient_.cy))};
    RECT window{};
    GetWindowRect(hwnd(), &window);
    arrange(dpi_, POINT{window.left, window.top});
}

void Form::arrange(int dpi, std::optional<POINT> topLeft) {
    const int oldDpi = std::exchange(dpi_, dpi);
    // A window only resized keeps the fonts its controls have (a log's fixed-pitch one).
    const bool fontsDue = oldDpi != dpi || placed_.empty();
    placed_ = placeControls(dpi);
    designedClient_ = clientSizeFor(placed_, dpi);
    SIZE client = designedClient_;
    if (resizable_) {
        client.cx += TwipsToPixels(extraTwips_.cx, dpi);
        client.cy += TwipsToPixels(extraTwips_.cy, dpi);
    }
    RECT bounds{0, 0, client.cx, client.cy};
    AdjustWindowRectForDpi(bounds, style(), menu_, WS_EX_CONTROLPARENT, dpi);
    windowSize_ = {bounds.right - bounds.left, bounds.bottom - bounds.top};
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    if (resizable_) {
        // Never larger than the screen it opens on, whatever its design or the last run asked.
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        if (GetMonitorInfoW(MonitorFromWindow(hwnd(), MONITOR_DEFAULTTONEAREST), &monitor)) {
            work = monitor.rcWork;
        }
        const SIZE frame{windowSize_.cx - client.cx, windowSize_.cy - client.cy};
        const SIZE room{work.right - work.left, work.bottom - work.top};
        smallestWindow_ = {std::min(designedClient_.cx + frame.cx, room.cx),
                           std::min(designedClient_.cy + frame.cy, room.cy)};
        windowSize_ = {std::min(windowSize_.cx, room.cx), std::min(windowSize_.cy, room.cy)};
        client = {windowSize_.cx - frame.cx, windowSize_.cy - frame.cy};
        if (topLeft) {
            topLeft->x = std::clamp(topLeft->x, work.left, std::max(work.left, work.right - windowSize_.cx));
            topLeft->y = std::clamp(topLeft->y, work.top, std::max(work.top, work.bottom - windowSize_.cy));
        }
    }
    if (!topLeft) {
        topLeft = POINT{work.left + std::max(0L, (work.right - work.left - windowSize_.cx) / 2),
                        work.top + std::max(0L, (work.bottom - work.top - windowSize_.cy) / 2)};
    }
    // What the artist chose stays chosen while a smaller screen holds the window smaller.
    const SIZE chosen = extraTwips_;
    SetWindowPos(hwnd(), nullptr, topLeft->x, topLeft->y, windowSize_.cx, windowSize_.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    // A menu bar too long for one line takes two, and a frame may be drawn at another scale than
    // asked for: the client area keeps its size all the same.
    RECT actual{};
    GetClientRect(hwnd(), &actual);
    if (actual.right != client.cx || actual.bottom != client.cy) {
        windowSize_.cx += client.cx - actual.right;
        windowSize_.cy += client.cy - actual.bottom;
        SetWindowPos(hwnd(), nullptr, 0, 0, windowSize_.cx, windowSize_.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    if (fontsDue) {
        SendMessageW(hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font({})), FALSE);
        for (const ControlSpec& entry : layout_) {
            if (const HWND hwndControl = item(entry.id)) {
                SendMessageW(hwndControl, WM_SETFONT, reinterpret_cast<WPARAM>(font(entry.font)), FALSE);
            }
        }
    }
    extraTwips_ = chosen;
    placeInClient(client);
    for (const ControlSpec& entry : layout_) {
        const HWND hwndControl = item(entry.id);
        if (hwndControl && entry.kind == ControlKind::ListView && oldDpi != dpi) {
            ListView(hwndControl).rescaleColumns(oldDpi, dpi);
        }
    }
    if (tooltip_) SendMessageW(tooltip_, WM_SETFONT, reinterpret_cast<WPARAM>(font({9, false})), FALSE);
    // The fonts of the old scale are no longer selected into any control.
    std::erase_if(fonts_, [dpi](const auto& entry) { return std::get<0>(entry.first) != dpi; });
    RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    if (oldDpi != dpi) onDpiChanged(oldDpi);
    if (resizable_) onResized();
}

void Form::placeInClient(SIZE client) {
    if (placed_.empty() || placed_.size() != layout_.size()) return;  // not laid out yet
    const LONG dx = resizable_ ? client.cx - designedClient_.cx : 0;
    const LONG dy = resizable_ ? client.cy - designedClient_.cy : 0;
    for (std::size_t i = 0; i < layout_.size(); ++i) {
        const ControlSpec& entry = layout_[i];
        const HWND hwndControl = item(entry.id);
        if (!hwndControl) continue;
        RECT rect = placed_[i];
        if (entry.grow & MoveRight) OffsetRect(&rect, dx, 0);
        if (entry.grow & MoveDown) OffsetRect(&rect, 0, dy);
        if (entry.grow & GrowWidth) rect.right = std::max(rect.left, rect.right + dx);
        if (entry.grow & GrowHeight) rect.bottom = std::max(rect.top, rect.bottom + dy);
        const int height = entry.kind == ControlKind::ComboBox
                               ? TwipsToPixels(entry.height * (ComboListEntries + 1), dpi_)
                               : rect.bottom - rect.top;
        SetWindowPos(hwndControl, nullptr, rect.left, rect.top, rect.right - rect.left, height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

HFONT Form::font(FontSpec style, int dpi) {
    const double points = style.points > 0 ? style.points : windowFontPoints_;
    const std::tuple key{dpi, static_cast<int>(points * 10 + 0.5), style.bold};
    FontHandle& cached = fonts_[key];
    if (!cached) {
        cached.reset(CreateFontW(-MulDiv(std::get<1>(key), dpi, 720), 0, 0, 0,
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
        case DpiChangedMessage:
            layOutFor(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        // Windows asks before it changes the DPI, so that the rectangle it suggests then is the
        // window's own size at the new scale.
        case GetDpiScaledSizeMessage:
            *reinterpret_cast<SIZE*>(lParam) = windowSizeFor(static_cast<int>(wParam));
            return TRUE;
        case WM_SIZE:
            if (resizable_ && wParam != SIZE_MINIMIZED && !placed_.empty() && placed_.size() == layout_.size()) {
                const SIZE client{LOWORD(lParam), HIWORD(lParam)};
                extraTwips_ = {static_cast<LONG>(PixelsToTwips(client.cx - designedClient_.cx, dpi_)),
                               static_cast<LONG>(PixelsToTwips(client.cy - designedClient_.cy, dpi_))};
                placeInClient(client);
                onResized();
            }
            break;
        // At 200 % the window may be larger than the screen Windows measured it against.
        case WM_GETMINMAXINFO:
            if (resizable_ && smallestWindow_.cx > 0) {
                reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {smallestWindow_.cx, smallestWindow_.cy};
            }
            if (windowSize_.cx > 0) {
                auto& limits = *reinterpret_cast<MINMAXINFO*>(lParam);
                limits.ptMaxTrackSize.x = std::max(limits.ptMaxTrackSize.x, windowSize_.cx);
                limits.ptMaxTrackSize.y = std::max(limits.ptMaxTrackSize.y, windowSize_.cy);
            }
            return 0;
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
