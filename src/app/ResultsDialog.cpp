#include "app/ResultsDialog.h"

#include <commctrl.h>

#include <array>
#include <optional>
#include <cstdio>

#include "jobs/Results.h"
#include "win/Controls.h"
#include "win/ListView.h"

namespace ravolen {
namespace {

using win::ControlKind;

enum : int { IdList = 4001, IdTick, IdRefresh, IdClose, IdSummary, IdLog, IdRenderUnfinished };

const std::array<win::ControlSpec, 7> Layout{{
    {.kind = ControlKind::Label, .id = IdSummary, .name = L"Summary", .left = 120, .top = 120,
     .width = 9960, .height = 300, .tabIndex = 0},
    {.kind = ControlKind::ListView, .id = IdList, .name = L"List", .left = 120, .top = 480,
     .width = 9960, .height = 4620, .tabIndex = 1, .style = LVS_OWNERDATA},
    {.kind = ControlKind::Button, .id = IdTick, .name = L"Tick", .left = 120, .top = 5260,
     .width = 1500, .height = 420, .tabIndex = 2, .caption = L"勾选已完成"},
    {.kind = ControlKind::Button, .id = IdRefresh, .name = L"Refresh", .left = 1800, .top = 5260,
     .width = 1200, .height = 420, .tabIndex = 3, .caption = L"刷新"},
    {.kind = ControlKind::Button, .id = IdLog, .name = L"Log", .left = 3180, .top = 5260,
     .width = 1200, .height = 420, .tabIndex = 4, .caption = L"查看日志"},
    {.kind = ControlKind::Button, .id = IdRenderUnfinished, .name = L"RenderUnfinished",
     .left = 4560, .top = 5260, .width = 2800, .height = 420, .tabIndex = 5,
     .caption = L"重新渲染未完成的任务"},
    {.kind = ControlKind::Button, .id = IdClose, .name = L"Close", .left = 8880, .top = 5260,
     .width = 1200, .height = 420, .tabIndex = 6, .caption = L"关  闭", .defaultButton = true},
}};

struct Column {
    const wchar_t* caption;
    int widthTwips;
    int format;
};
// Within the list's width, so that a time, "已完成（12帧）" and "渲染中（已用时 12:34:56）" show whole.
constexpr Column Columns[] = {{L"Max文件", 1800, LVCFMT_LEFT},
                              {L"输出文件", 2600, LVCFMT_LEFT},
                              {L"状态", 2700, LVCFMT_LEFT},
                              {L"大小", 900, LVCFMT_RIGHT},
                              {L"时间", 1750, LVCFMT_LEFT}};

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
    if (!createForm(L"RavolenResults", L"渲染结果", 10200, 5800, 10.5, nullptr, owner) ||
        !createControls(Layout)) {
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
    show();
    return true;
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
    const NightView night = night_ ? night_() : NightView{};
    win::UpdateText(item(IdSummary), night.summary);
    logPath_ = night.logPath;
    EnableWindow(item(IdLog), !logPath_.empty());

    std::vector<RowTexts> texts(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const RenderResult& result = results_[i];
        texts[i] = {rows_[i].scene, result.output, StateText(rows_[i], result, night, i),
                    result.done ? SizeText(result.size) : L"",
                    result.done ? TimeText(result.modified) : L""};
    }

    const HWND list = item(IdList);
    if (texts.size() == shown_.size() && ListView_GetItemCount(list) == static_cast<int>(texts.size())) {
        // The same rows: only those that changed repaint, and the list keeps its selection,
        // keyboard row and scroll position.
        std::optional<std::size_t> first, last;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (texts[i] == shown_[i]) continue;
            if (!first) first = i;
            last = i;
        }
        shown_ = std::move(texts);
        if (first) ListView_RedrawItems(list, static_cast<int>(*first), static_cast<int>(*last));
        return;
    }
    // Other rows: shown from the top, nothing selected, as a list filled anew.
    shown_ = std::move(texts);
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
            const std::wstring& text =
                row < shown_.size() && column < ColumnCount ? shown_[row][column] : std::wstring();
            lstrcpynW(cell.pszText, text.c_str(), cell.cchTextMax);
        }
        return 0;
    }
    if (header.code == LVN_ODFINDITEMW) return findRow(reinterpret_cast<NMLVFINDITEMW&>(header));
    return std::nullopt;
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
