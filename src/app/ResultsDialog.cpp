#include "app/ResultsDialog.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <optional>
#include <cstdio>

#include "app/OutputFolder.h"
#include "jobs/Results.h"
#include "win/Controls.h"
#include "win/ListStripes.h"
#include "win/ListView.h"

namespace ravolen {
namespace {

using win::ControlKind;

enum : int { IdList = 4001, IdTick, IdRefresh, IdClose, IdSummary, IdLog, IdRenderUnfinished };
// The row menu's commands.
enum : UINT { IdOpenImage = 1, IdOpenFolder, IdSelectInTable };

const std::array<win::ControlSpec, 7> Layout{{
    {.kind = ControlKind::Label, .id = IdSummary, .name = L"Summary", .left = 120, .top = 120,
     .width = 9960, .height = 300, .tabIndex = 0, .grow = win::GrowWidth},
    {.kind = ControlKind::ListView, .id = IdList, .name = L"List", .left = 120, .top = 480,
     .width = 9960, .height = 4620, .tabIndex = 1, .style = LVS_OWNERDATA,
     .grow = win::GrowWidth | win::GrowHeight},
    {.kind = ControlKind::Button, .id = IdTick, .name = L"Tick", .left = 120, .top = 5260,
     .width = 1500, .height = 420, .tabIndex = 2, .caption = L"勾选已完成", .grow = win::MoveDown},
    {.kind = ControlKind::Button, .id = IdRefresh, .name = L"Refresh", .left = 1800, .top = 5260,
     .width = 1200, .height = 420, .tabIndex = 3, .caption = L"刷新", .grow = win::MoveDown},
    {.kind = ControlKind::Button, .id = IdLog, .name = L"Log", .left = 3180, .top = 5260,
     .width = 1200, .height = 420, .tabIndex = 4, .caption = L"查看日志", .grow = win::MoveDown},
    {.kind = ControlKind::Button, .id = IdRenderUnfinished, .name = L"RenderUnfinished",
     .left = 4560, .top = 5260, .width = 2800, .height = 420, .tabIndex = 5,
     .caption = L"重新渲染未完成的任务", .grow = win::MoveDown},
    {.kind = ControlKind::Button, .id = IdClose, .name = L"Close", .left = 8880, .top = 5260,
     .width = 1200, .height = 420, .tabIndex = 6, .caption = L"关  闭", .defaultButton = true,
     .grow = win::MoveDown | win::MoveRight},
}};

struct Column {
    const wchar_t* caption;
    int widthTwips;
    int format;
};
// The widths fitColumns starts from. The time is centred, clear of the size beside it.
constexpr Column Columns[] = {{L"Max文件", 1800, LVCFMT_LEFT},
                              {L"输出文件", 2600, LVCFMT_LEFT},
                              {L"状态", 2700, LVCFMT_LEFT},
                              {L"大小", 900, LVCFMT_RIGHT},
                              {L"时间", 1750, LVCFMT_CENTER}};
// The text of a row that did not finish through a fault or was cancelled.
constexpr COLORREF FailedText = RGB(192, 0, 0);

std::wstring SizeText(unsigned long long bytes) {
    wchar_t text[32];
    if (bytes < 1024) {
        std::swprintf(text, 32, L"%llu B", bytes);
    } else if (bytes < 1024ull * 1024) {
        std::swprintf(text, 32, L"%.1f KB", static_cast<double>(bytes) / 1024);
    } else {
        std::swprintf(text, 32, L"%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024));
    }
    return text;
}

std::wstring TimeText(unsigned long long modified) {
    FILETIME utc{static_cast<DWORD>(modified), static_cast<DWORD>(modified >> 32)};
    FILETIME local{};
    SYSTEMTIME time{};
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &time)) return {};
    wchar_t text[32];
    std::swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u", time.wYear, time.wMonth, time.wDay,
                  time.wHour, time.wMinute);
    return text;
}

std::vector<RenderResult> ReadResults(Platform& platform, const std::vector<RenderJob>& rows) {
    return FindResults(rows, [&](const std::wstring& folder) { return platform.folderEntries(folder); });
}

// The state column: what the night says of the row while the table's row is still the night's,
// otherwise what the disk says. Listed frames without their files are named either way once the
// row has ended.
std::wstring StateText(const RenderJob& row, const RenderResult& result, const NightView& night,
                       std::size_t index) {
    const std::wstring frames =
        result.frames > 0 ? L"（" + std::to_wstring(result.frames) + L"帧）" : L"";
    const std::wstring missing = MissingFramesText(result);
    if (index < night.states.size() && night.states[index] && night.scenes[index] == row.scene) {
        const RowState& state = *night.states[index];
        if (state.phase == RowPhase::Finished && !missing.empty()) return missing;
        std::wstring text = RowStateText(state, night.now);
        if (state.phase == RowPhase::Finished) text += frames;
        return text;
    }
    if (result.done) return L"已完成" + frames;
    return missing.empty() ? L"未完成" : missing;
}

// How a row stands out: in red when it failed, had no output, hung, ran too long or was
// cancelled; in bold while it renders.
RowLook LookOf(const RenderJob& row, const NightView& night, std::size_t index) {
    if (index >= night.states.size() || !night.states[index] || night.scenes[index] != row.scene) {
        return RowLook::Plain;
    }
    const RowPhase phase = night.states[index]->phase;
    if (phase == RowPhase::Rendering) return RowLook::Running;
    if (FailedPhase(phase) || phase == RowPhase::NoOutput || phase == RowPhase::Cancelled) {
        return RowLook::Failed;
    }
    return RowLook::Plain;
}

// The line above the list: the followed night's own, the last night's counts, or that there
// has been none; and that the night was cancelled, when it was.
std::wstring SummaryText(const NightView& night) {
    std::size_t rows = 0, finished = 0, failed = 0;
    bool cancelled = false;
    for (const std::optional<RowState>& state : night.states) {
        if (!state) continue;
        ++rows;
        finished += state->phase == RowPhase::Finished ? 1 : 0;
        failed += FailedPhase(state->phase) ? 1 : 0;
        cancelled = cancelled || state->phase == RowPhase::Cancelled;
    }
    std::wstring text = night.summary;
    if (text.empty()) {
        if (rows == 0) return L"尚未开始渲染";
        text = L"上次渲染：共" + std::to_wstring(rows) + L"个 · 完成" + std::to_wstring(finished) +
               L"个 · 失败" + std::to_wstring(failed) + L"个";
    }
    if (cancelled) text += L" · 已取消";
    return text;
}

// True for a row that did not finish: 失败, 没有输出, 无响应, 超时, 已取消 or 未完成, as the state
// column says it.
bool Unfinished(const RenderJob& row, const RenderResult& result, const NightView& night,
                std::size_t index) {
    if (index < night.states.size() && night.states[index] && night.scenes[index] == row.scene) {
        const RowPhase phase = night.states[index]->phase;
        return phase != RowPhase::Finished && phase != RowPhase::Waiting &&
               phase != RowPhase::Rendering;
    }
    return !result.done;
}

}  // namespace

const win::CommandRoute<ResultsDialog> ResultsDialog::Commands[] = {
    {IdRenderUnfinished, BN_CLICKED, &ResultsDialog::onRenderUnfinishedClicked},
    {IdTick, BN_CLICKED, &ResultsDialog::onTickFinishedClicked},
    {IdRefresh, BN_CLICKED, &ResultsDialog::onRefreshClicked},
    {IdLog, BN_CLICKED, &ResultsDialog::onLogClicked},
    {IdClose, BN_CLICKED, &ResultsDialog::onCloseClicked},
    {IDCANCEL, BN_CLICKED, &ResultsDialog::onCloseClicked},  // Escape
};

ResultsDialog::~ResultsDialog() {
    win::Window::Dispose(log_);
    destroyWindow();
}

bool ResultsDialog::create(HWND owner) {
    if (!createForm(L"RavolenResults", L"渲染结果", 10200, 5800, 10.5, nullptr, owner)) return false;
    allowResizing();
    if (!createControls(Layout)) {
        destroyWindow();
        return false;
    }
    const HWND list = item(IdList);
    const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    win::ListView view(list);
    for (const Column& column : Columns) {
        view.addColumn(column.caption, win::TwipsToPixels(column.widthTwips, dpi()), column.format);
    }
    fitColumns();
    tips_.attach(list);
    chooseSizeTwips(sizes_.results);
    created_ = true;
    listKeys_.attach(list, [this](UINT message, WPARAM wParam, LPARAM lParam) -> std::optional<LRESULT> {
        tips_.relay(message, wParam, lParam);
        if (message == WM_GETDLGCODE) {
            const auto* key = reinterpret_cast<const MSG*>(lParam);
            if (key && key->message == WM_KEYDOWN && key->wParam == VK_RETURN) return DLGC_WANTMESSAGE;
            return std::nullopt;
        }
        // The menu key and Shift+F10 open the row's menu here: not every list view passes them
        // on, and their release is taken too, so that none opens it a second time.
        const bool menuKey = wParam == VK_APPS || (wParam == VK_F10 && GetKeyState(VK_SHIFT) < 0);
        if (!menuKey) return std::nullopt;
        if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) {
            showRowMenu(-1);
            return 0;
        }
        if (message == WM_KEYUP || message == WM_SYSKEYUP) return 0;
        return std::nullopt;
    });
    show();
    return true;
}

// Also once the windows went, as the program ends: owned windows go before their owner.
ResultsDialog::Sizes ResultsDialog::sizes() const {
    Sizes sizes = sizes_;
    if (created_) sizes.results = chosenSizeTwips();
    if (log_) sizes.log = log_->chosenSizeTwips();
    return sizes;
}

void ResultsDialog::onResized() { fitColumns(); }

void ResultsDialog::onDpiChanged(int) { fitColumns(); }

// 状态, 大小 and 时间 as wide as their longest texts in the list's font at its scale; the paths
// share the rest, so that no column lies past the list, nor under its scroll bar when one shows.
void ResultsDialog::fitColumns() {
    const HWND list = item(IdList);
    const auto header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    if (!list || !header || Header_GetItemCount(header) != static_cast<int>(ColumnCount)) return;
    const HDC dc = GetDC(list);
    if (!dc) return;
    const HGDIOBJ original = SelectObject(dc, font({}));
    const auto width = [dc](std::wstring_view text) {
        SIZE size{};
        GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
        return static_cast<int>(size.cx);
    };
    const int em = width(L"字");
    const int state = width(L"渲染中（已用时 12:34:56）") + em / 2;
    const int size = width(L"1023.9 MB") + em / 2;
    const int time = width(L"2026-12-07 23:59") + em;
    // A path column keeps room for its caption at least; where the screen is too small for
    // that, the list scrolls sideways.
    const int scene = width(Columns[0].caption) + em;
    const int output = width(Columns[1].caption) + em;
    SelectObject(dc, original);
    ReleaseDC(list, dc);
    RECT client{};
    GetClientRect(list, &client);
    int room = client.right;
    if (!(GetWindowLongPtrW(list, GWL_STYLE) & WS_VSCROLL)) room -= GetSystemMetrics(SM_CXVSCROLL);
    const int paths = room - state - size - time;
    const int sceneWidth = std::max(scene, paths / 2);
    const int widths[ColumnCount] = {sceneWidth, std::max(output, paths - sceneWidth), state, size, time};
    for (std::size_t k = 0; k < ColumnCount; ++k) {
        if (ListView_GetColumnWidth(list, static_cast<int>(k)) != widths[k]) {
            ListView_SetColumnWidth(list, static_cast<int>(k), widths[k]);
        }
    }
}

LRESULT ResultsDialog::drawList(NMLVCUSTOMDRAW& draw) {
    paths_.noteDraw(draw);
    switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
        case CDDS_ITEMPREPAINT: {
            const auto row = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
            const bool selected = ListView_GetItemState(draw.nmcd.hdr.hwndFrom, static_cast<int>(row), LVIS_SELECTED) != 0;
            if (lookOf(row) == RowLook::Failed && !selected) draw.clrText = FailedText;
            SelectObject(draw.nmcd.hdc, rowFont(row));
            return CDRF_NEWFONT;
        }
        default: return CDRF_DODEFAULT;
    }
}

void ResultsDialog::show() {
    onRefreshClicked();
    ShowWindow(hwnd(), SW_SHOW);
    SetForegroundWindow(hwnd());
}

bool ResultsDialog::onCommand(int id, int code) {
    return win::RouteCommand<ResultsDialog>(*this, Commands, id, code);
}

void ResultsDialog::onRefreshClicked() {
    readRows();
    showResults();
}

void ResultsDialog::readRows() {
    rows_ = table_.jobOutputs();
    results_ = ReadResults(platform_, rows_);
}

void ResultsDialog::refreshNight(bool rowEnded) {
    if (IsWindowVisible(hwnd())) {
        if (rowEnded) results_ = ReadResults(platform_, rows_);
        showResults();
    }
    if (LogWindow* log = logWindow(); log && IsWindowVisible(log->hwnd())) {
        const NightView night = night_ ? night_() : NightView{};
        log->follow(night.live);
        log->showNotes(night.notes);
    }
}

void ResultsDialog::showResults() {
    // One reading of the night, and of its clock, for the summary and every row.
    const NightView night = night_ ? night_() : NightView{};
    win::UpdateText(item(IdSummary), SummaryText(night));
    logPath_ = night.logPath;
    EnableWindow(item(IdLog), !logPath_.empty());

    std::vector<RowTexts> texts(rows_.size());
    std::vector<RowLook> looks(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const RenderResult& result = results_[i];
        texts[i] = {rows_[i].scene, result.output, StateText(rows_[i], result, night, i),
                    result.done ? SizeText(result.size) : L"",
                    result.done ? TimeText(result.modified) : L""};
        looks[i] = LookOf(rows_[i], night, i);
    }

    const HWND list = item(IdList);
    if (texts.size() == shown_.size() && ListView_GetItemCount(list) == static_cast<int>(texts.size())) {
        // The same rows: only those that changed repaint, and the list keeps its selection,
        // keyboard row and scroll position.
        std::optional<std::size_t> first, last;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (texts[i] == shown_[i] && looks[i] == looks_[i]) continue;
            if (!first) first = i;
            last = i;
        }
        shown_ = std::move(texts);
        looks_ = std::move(looks);
        if (first) ListView_RedrawItems(list, static_cast<int>(*first), static_cast<int>(*last));
        return;
    }
    // Other rows: shown from the top, nothing selected, as a list filled anew.
    shown_ = std::move(texts);
    looks_ = std::move(looks);
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemCountEx(list, static_cast<int>(shown_.size()), 0);
    if (!shown_.empty()) ListView_EnsureVisible(list, 0, FALSE);
    InvalidateRect(list, nullptr, TRUE);
}

std::optional<LRESULT> ResultsDialog::onNotify(NMHDR& header) {
    if (header.idFrom != IdList) return std::nullopt;
    if (header.code == LVN_GETDISPINFOW) {
        LVITEMW& cell = reinterpret_cast<NMLVDISPINFOW&>(header).item;
        const auto row = static_cast<std::size_t>(cell.iItem);
        const auto column = static_cast<std::size_t>(cell.iSubItem);
        if ((cell.mask & LVIF_TEXT) && cell.pszText && cell.cchTextMax > 0) {
            static const std::wstring none;
            const std::wstring& whole = row < shown_.size() && column < ColumnCount ? shown_[row][column] : none;
            // Measured in the font the row is drawn in.
            const std::wstring& text = paths_.shown(cell.iSubItem, whole, row < shown_.size() ? rowFont(row) : nullptr);
            lstrcpynW(cell.pszText, text.c_str(), cell.cchTextMax);
        }
        return 0;
    }
    if (header.code == LVN_ODFINDITEMW) return findRow(reinterpret_cast<NMLVFINDITEMW&>(header));
    if (header.code == NM_CUSTOMDRAW) return drawList(reinterpret_cast<NMLVCUSTOMDRAW&>(header));
    // A double-click says its row; Enter is about the keyboard's row.
    if (header.code == NM_DBLCLK) {
        openImage(reinterpret_cast<NMITEMACTIVATE&>(header).iItem);
        return 0;
    }
    if (header.code == NM_RETURN) {
        openImage(ListView_GetNextItem(header.hwndFrom, -1, LVNI_FOCUSED | LVNI_SELECTED));
        return 0;
    }
    return std::nullopt;
}

LRESULT ResultsDialog::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CONTEXTMENU && reinterpret_cast<HWND>(wParam) == item(IdList)) {
        showRowMenu(lParam);
        return 0;
    }
    return Form::onMessage(message, wParam, lParam);
}

void ResultsDialog::openImage(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= results_.size()) return;
    const RenderResult& result = results_[static_cast<std::size_t>(row)];
    if (result.done && !result.image.empty()) OpenImage(platform_, result.image);
}

void ResultsDialog::showRowMenu(LPARAM at) {
    const HWND list = item(IdList);
    // The row a right click selected (the list selects it as the button goes down, and selects
    // nothing on empty space), or the keyboard's.
    int row = ListView_GetNextItem(list, -1, LVNI_FOCUSED | LVNI_SELECTED);
    if (row < 0) row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return;
    POINT point{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (at == -1) {  // Shift+F10 or the menu key: below the row
        RECT cell{};
        ListView_GetItemRect(list, row, &cell, LVIR_LABEL);
        point = {cell.left, cell.bottom};
        ClientToScreen(list, &point);
    }
    const auto position = static_cast<std::size_t>(row);
    const bool image = results_[position].done && !results_[position].image.empty();

    const HMENU menu = CreatePopupMenu();
    if (!menu) return;
    AppendMenuW(menu, MF_STRING | (image ? 0u : MF_GRAYED), IdOpenImage, L"打开图像");
    AppendMenuW(menu, MF_STRING, IdOpenFolder, L"打开出图文件夹");
    AppendMenuW(menu, MF_STRING, IdSelectInTable, L"在主窗口中选中");
    if (image) SetMenuDefaultItem(menu, IdOpenImage, FALSE);
    const UINT chosen = static_cast<UINT>(TrackPopupMenu(
        menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, point.x, point.y, 0, hwnd(), nullptr));
    DestroyMenu(menu);
    switch (chosen) {
        case IdOpenImage: openImage(row); break;
        case IdOpenFolder: OpenOutputFolder(platform_, rows_[position].outputFolder); break;
        case IdSelectInTable: table_.selectJob(position); break;
        default: break;
    }
}

int ResultsDialog::findRow(const NMLVFINDITEMW& find) const {
    if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz || shown_.empty()) return -1;
    const std::wstring_view typed(find.lvfi.psz);
    const bool partial = (find.lvfi.flags & LVFI_PARTIAL) != 0;
    const std::size_t count = shown_.size();
    const auto start = find.iStart >= 0 && static_cast<std::size_t>(find.iStart) < count
                           ? static_cast<std::size_t>(find.iStart)
                           : 0;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t row = (start + k) % count;
        if (!(find.lvfi.flags & LVFI_WRAP) && row < start) break;
        const std::wstring& scene = shown_[row][0];
        if ((partial ? scene.size() >= typed.size() : scene.size() == typed.size()) &&
            CompareStringOrdinal(scene.c_str(), static_cast<int>(typed.size()), typed.data(),
                                 static_cast<int>(typed.size()), TRUE) == CSTR_EQUAL) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

void ResultsDialog::onTickFinishedClicked() {
    // Read again: the table or the disk may have changed since the dialog showed them.
    readRows();
    std::vector<bool> finished(results_.size());
    for (std::size_t i = 0; i < results_.size(); ++i) finished[i] = results_[i].done;
    table_.tickJobs(finished);
    showResults();
}

void ResultsDialog::onLogClicked() {
    if (logPath_.empty()) return;
    if (!logWindow()) {
        auto window = std::make_unique<LogWindow>(platform_);
        // Owned by the main window, so it stays when the results are closed.
        if (!window->create(GetWindow(hwnd(), GW_OWNER))) return;
        window->chooseSizeTwips(sizes_.log);
        log_ = std::move(window);
    }
    const NightView night = night_ ? night_() : NightView{};
    log_->open(logPath_, night.live);
    log_->showNotes(night.notes);
}

void ResultsDialog::onRenderUnfinishedClicked() {
    readRows();
    showResults();
    const NightView night = night_ ? night_() : NightView{};
    std::vector<std::size_t> unfinished;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (Unfinished(rows_[i], results_[i], night, i)) unfinished.push_back(i);
    }
    if (unfinished.empty()) {
        platform_.showMessage(L"没有未完成的任务。");
        return;
    }
    if (renderRows_) renderRows_(unfinished);
}

void ResultsDialog::onCloseClicked() { ShowWindow(hwnd(), SW_HIDE); }

}  // namespace ravolen
