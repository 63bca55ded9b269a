#include "app/ResultsDialog.h"

#include <commctrl.h>

#include <array>
#include <cstdio>

#include "jobs/Results.h"
#include "win/Controls.h"
#include "win/ListView.h"

namespace ravolen {
namespace {

using win::ControlKind;

enum : int { IdList = 4001, IdTick, IdRefresh, IdClose };

const std::array<win::ControlSpec, 4> Layout{{
    {.kind = ControlKind::ListView, .id = IdList, .name = L"List", .left = 120, .top = 120,
     .width = 8760, .height = 4500, .tabIndex = 0},
    {.kind = ControlKind::Button, .id = IdTick, .name = L"Tick", .left = 120, .top = 4800,
     .width = 1500, .height = 420, .tabIndex = 1, .caption = L"勾选已完成"},
    {.kind = ControlKind::Button, .id = IdRefresh, .name = L"Refresh", .left = 1800, .top = 4800,
     .width = 1200, .height = 420, .tabIndex = 2, .caption = L"刷新"},
    {.kind = ControlKind::Button, .id = IdClose, .name = L"Close", .left = 7680, .top = 4800,
     .width = 1200, .height = 420, .tabIndex = 3, .caption = L"关  闭", .defaultButton = true},
}};

struct Column {
    const wchar_t* caption;
    int widthTwips;
    int format;
};
// Within the list's width, so that a time and "已完成（12帧）" show whole.
constexpr Column Columns[] = {{L"Max文件", 1800, LVCFMT_LEFT},
                              {L"输出文件", 2600, LVCFMT_LEFT},
                              {L"状态", 1500, LVCFMT_LEFT},
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

}  // namespace

const win::CommandRoute<ResultsDialog> ResultsDialog::Commands[] = {
    {IdTick, BN_CLICKED, &ResultsDialog::onTickFinishedClicked},
    {IdRefresh, BN_CLICKED, &ResultsDialog::onRefreshClicked},
    {IdClose, BN_CLICKED, &ResultsDialog::onCloseClicked},
    {IDCANCEL, BN_CLICKED, &ResultsDialog::onCloseClicked},  // Escape
};

bool ResultsDialog::create(HWND owner) {
    if (!createForm(L"RavolenResults", L"渲染结果", 9000, 5340, 10.5, nullptr, owner) ||
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
    const std::vector<RenderJob> rows = table_.jobOutputs();
    showResults(rows, ReadResults(platform_, rows));
}

void ResultsDialog::showResults(const std::vector<RenderJob>& rows,
                                const std::vector<RenderResult>& results) {
    const HWND list = item(IdList);
    win::ListView view(list);
    const win::RedrawSuspended batch(list);
    view.clear();
    for (std::size_t i = 0; i < results.size(); ++i) {
        const RenderResult& result = results[i];
        std::wstring state = result.done ? L"已完成" : L"未完成";
        if (result.frames > 0) state += L"（" + std::to_wstring(result.frames) + L"帧）";
        const std::wstring cells[] = {rows[i].scene, result.output, state,
                                      result.done ? SizeText(result.size) : L"",
                                      result.done ? TimeText(result.modified) : L""};
        view.appendRow(cells);
    }
}

void ResultsDialog::onTickFinishedClicked() {
    // Read again: the table or the disk may have changed since the dialog showed them.
    const std::vector<RenderJob> rows = table_.jobOutputs();
    const std::vector<RenderResult> results = ReadResults(platform_, rows);
    std::vector<bool> finished(results.size());
    for (std::size_t i = 0; i < results.size(); ++i) finished[i] = results[i].done;
    table_.tickJobs(finished);
    showResults(rows, results);
}

void ResultsDialog::onCloseClicked() { ShowWindow(hwnd(), SW_HIDE); }

}  // namespace ravolen
