#include "app/LogWindow.h"

#include <algorithm>
#include <array>

#include "jobs/JobTable.h"
#include "win/Controls.h"

namespace ravolen {
namespace {

using win::ControlKind;

enum : int { IdText = 4101, IdClose };

// The most one read takes: a log that grew by more is read in pieces.
constexpr std::size_t ReadPiece = 16u << 20;

const std::array<win::ControlSpec, 2> Layout{{
    {.kind = ControlKind::TextBox, .id = IdText, .name = L"Text", .left = 120, .top = 120,
     .width = 11760, .height = 6600, .tabIndex = 0,
     .style = ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_HSCROLL,
     .grow = win::GrowWidth | win::GrowHeight},
    {.kind = ControlKind::Button, .id = IdClose, .name = L"Close", .left = 10680, .top = 6900,
     .width = 1200, .height = 420, .tabIndex = 1, .caption = L"关  闭", .defaultButton = true,
     .grow = win::MoveRight | win::MoveDown},
}};

}  // namespace

const win::CommandRoute<LogWindow> LogWindow::Commands[] = {
    {IdClose, BN_CLICKED, &LogWindow::onCloseClicked},
    {IDCANCEL, BN_CLICKED, &LogWindow::onCloseClicked},  // Escape
};

bool LogWindow::create(HWND owner) {
    if (!createForm(L"RavolenLog", L"渲染日志", 12000, 7440, 10.5, nullptr, owner)) return false;
    // Larger than a small screen at 150 %: it opens within the work area, the text made smaller.
    allowResizing();
    if (!createControls(Layout)) {
        destroyWindow();
        return false;
    }
    // A whole night's output: no limit short of what memory allows.
    SendMessageW(item(IdText), EM_SETLIMITTEXT, 0, 0);
    applyFont();
    return true;
}

// 新宋体 is the fixed-pitch cut of 宋体: the renderer's columns stay aligned.
void LogWindow::applyFont() {
    LOGFONTW face{};
    face.lfHeight = -MulDiv(10, dpi(), 72);
    face.lfWeight = FW_NORMAL;
    face.lfCharSet = GB2312_CHARSET;
    face.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    wcscpy_s(face.lfFaceName, L"NSimSun");
    FontHandle font(CreateFontIndirectW(&face));
    if (!font) return;
    SendMessageW(item(IdText), WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    font_ = std::move(font);
}

void LogWindow::onDpiChanged(int) { applyFont(); }

void LogWindow::open(const std::wstring& path, bool live) {
    path_ = path;
    reader_.emplace(platform_.scriptCodec());
    read_ = 0;
    finished_ = false;
    empty_ = true;
    notesShown_ = 0;
    win::SetText(hwnd(), L"渲染日志 - " + std::wstring(FileNameOf(path)));
    win::SetText(item(IdText), L"");
    follow(live);
    ShowWindow(hwnd(), SW_SHOW);
    SetForegroundWindow(hwnd());
    SetFocus(item(IdText));
}

void LogWindow::follow(bool live) {
    if (!reader_ || finished_) return;
    std::vector<std::wstring> lines;
    const std::optional<unsigned long long> size = platform_.fileSize(path_);
    if (size && *size < read_) {
        // Made anew (another night took the name): start over.
        open(path_, live);
        return;
    }
    // Only what was added; a line or a character a read ends inside waits in the reader for the
    // rest.
    while (size && *size > read_) {
        const auto most = static_cast<std::size_t>(std::min<unsigned long long>(*size - read_, ReadPiece));
        const std::optional<std::string> bytes = platform_.readFileFrom(path_, read_, most);
        if (!bytes || bytes->empty()) break;
        reader_->add(*bytes, lines);
        read_ += bytes->size();
    }
    if (!live) {
        reader_->finish(lines);
        finished_ = true;
    }
    addLines(lines);
}

void LogWindow::showNotes(const std::vector<std::wstring>& notes) {
    if (notesShown_ >= notes.size()) return;
    std::vector<std::wstring> lines;
    for (std::size_t i = notesShown_; i < notes.size(); ++i) lines.push_back(L"[Ravolen] " + notes[i]);
    notesShown_ = notes.size();
    addLines(lines);
}

void LogWindow::addLines(const std::vector<std::wstring>& lines) {
    if (lines.empty()) return;
    std::wstring text;
    for (const std::wstring& line : lines) {
        if (!empty_ || !text.empty()) text += L"\r\n";
        text += line;
    }
    empty_ = false;
    const HWND box = item(IdText);
    // Added at the end, which scrolls there; a selection the user made is put back.
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const int length = GetWindowTextLengthW(box);
    SendMessageW(box, EM_SETSEL, length, length);
    SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    if (start != end) SendMessageW(box, EM_SETSEL, start, end);
    SendMessageW(box, EM_SCROLLCARET, 0, 0);
}

bool LogWindow::onCommand(int id, int code) {
    return win::RouteCommand<LogWindow>(*this, Commands, id, code);
}

LRESULT LogWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // A multiline box sends Escape to its window as a close, and Tab as a move to the next
    // control, as it does inside a dialog box.
    if (message == WM_CLOSE) {
        onCloseClicked();
        return 0;
    }
    if (message == WM_NEXTDLGCTL) {
        const HWND next = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                         : GetNextDlgTabItem(hwnd(), GetFocus(), wParam != 0);
        if (next) SetFocus(next);
        return 0;
    }
    return Form::onMessage(message, wParam, lParam);
}

void LogWindow::onCloseClicked() { ShowWindow(hwnd(), SW_HIDE); }

}  // namespace ravolen
