#include "app/TableCommands.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <variant>

#include "app/MainWindowIds.h"
#include "app/OutputFolder.h"
#include "jobs/JobListFile.h"
#include "jobs/TabText.h"
#include "win/Clipboard.h"

namespace ravolen {

using namespace mainwindow;

bool TableCommands::run(int id, int code) {
    using Move = JobTableView::Move;
    switch (id) {
        // Ctrl+Z in a text box undoes its typing, as everywhere in Windows; elsewhere the table's
        // step. Ctrl+Y there is the box's own too.
        case IdMenuUndo:
            if (code == 1 && textBoxFocused()) SendMessageW(GetFocus(), WM_UNDO, 0, 0);
            else host_.stepBack(false);
            return true;
        case IdMenuRedo:
            if (code != 1 || !textBoxFocused()) host_.stepBack(true);
            return true;
        case IdMenuCut:
            if (copySelected()) removeSelected();
            return true;
        case IdMenuCopy: copySelected(); return true;
        case IdMenuPaste: paste(); return true;
        case IdMenuDelete: removeSelected(); return true;
        case IdMenuSelectAll: table_.selection().selectAll(); return true;
        case IdMenuDuplicate: duplicateSelected(); return true;
        case IdMenuMoveUp: table_.moveSelected(Move::Up); return true;
        case IdMenuMoveDown: table_.moveSelected(Move::Down); return true;
        case IdMenuMoveFirst: table_.moveSelected(Move::First); return true;
        case IdMenuMoveLast: table_.moveSelected(Move::Last); return true;
        case IdMenuEditJob: host_.editJob(); return true;
        case IdMenuTickSelected: table_.tickSelected(true); return true;
        case IdMenuUntickSelected: table_.tickSelected(false); return true;
        case IdMenuShowScene: showScene(); return true;
        case IdMenuOpenOutputFolder: openOutputFolder(); return true;
        default: return false;
    }
}

bool TableCommands::textBoxFocused() const {
    const HWND focus = GetFocus();
    wchar_t className[16]{};
    return focus && IsChild(window_, focus) && GetClassNameW(focus, className, 16) &&
           _wcsicmp(className, L"Edit") == 0;
}

// The keys of 编辑's commands, while the table has the focus; elsewhere they are the focused
// control's own (a text box copies its text).
bool TableCommands::onKey(UINT key) {
    struct Key {
        UINT key;
        bool control;
        bool alt;
        int command;
    };
    static constexpr Key Keys[] = {
        {'X', true, false, IdMenuCut},          {'C', true, false, IdMenuCopy},
        {'V', true, false, IdMenuPaste},        {VK_DELETE, false, false, IdMenuDelete},
        {'A', true, false, IdMenuSelectAll},    {'D', true, false, IdMenuDuplicate},
        {VK_UP, false, true, IdMenuMoveUp},     {VK_DOWN, false, true, IdMenuMoveDown},
        {VK_RETURN, false, false, IdMenuEditJob},
    };
    const bool control = GetKeyState(VK_CONTROL) < 0;
    const bool alt = GetKeyState(VK_MENU) < 0;
    if (GetKeyState(VK_SHIFT) < 0) return false;
    for (const Key& entry : Keys) {
        if (entry.key == key && entry.control == control && entry.alt == alt) {
            if (host_.applies(entry.command)) run(entry.command, 0);
            return true;
        }
    }
    return false;
}

void TableCommands::showMenu(POINT screen) {
    const HMENU menu = CreatePopupMenu();
    if (!menu) return;
    AppendEditItems(menu, TableMenuItems);
    SetMenuDefaultItem(menu, IdMenuEditJob, FALSE);
    host_.showCommands(menu);
    const auto chosen = static_cast<int>(TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                          screen.x, screen.y, window_, nullptr));
    DestroyMenu(menu);
    if (chosen != 0) SendMessageW(window_, WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
}

// The selected rows as a spreadsheet pastes them, and as a job list's CSV. Spreadsheets read the
// clipboard's CSV in the ANSI code page, as Excel writes it, and may prefer it to the text: rows
// with a character that code page lacks go as the text alone rather than garbled.
bool TableCommands::copySelected() {
    const std::vector<RenderJob> rows = table_.selection().jobs();
    if (rows.empty()) return false;
    std::string csv;
    if (std::optional<std::wstring> text = Utf8Text(SaveJobList(rows))) {
        if (text->starts_with(L'\uFEFF')) text->erase(0, 1);
        csv = platform_.ansiCodec().encode(*text).value_or(std::string());
    }
    if (const std::optional<win::ClipboardFault> fault = win::PutOnClipboard(window_, RowsAsTabText(rows), csv)) {
        platform_.showMessage(std::wstring(win::ClipboardFaultMessage(*fault)));
        return false;
    }
    return true;
}

// Rows after the selection: text copied from a spreadsheet or a job list, or files copied in
// Explorer as their drop makes them. Text that is not rows adds nothing and says where.
void TableCommands::paste() {
    const std::variant<win::ClipboardContent, win::ClipboardFault> read = win::ReadClipboard(window_);
    if (const auto* fault = std::get_if<win::ClipboardFault>(&read)) {
        platform_.showMessage(std::wstring(win::ClipboardFaultMessage(*fault)));
        return;
    }
    const auto& content = std::get<win::ClipboardContent>(read);
    if (!content.files.empty()) {
        insertAfterSelection(host_.jobsOfFiles(content.files));
        return;
    }
    std::variant<std::vector<RenderJob>, JobListFault> rows = RowsFromText(content.text);
    if (const auto* fault = std::get_if<JobListFault>(&rows)) {
        platform_.showMessage(PastedTextFaultMessage(*fault));
        return;
    }
    insertAfterSelection(std::move(std::get<std::vector<RenderJob>>(rows)));
}

// The row that followed the last one deleted takes the selection, as in Explorer.
void TableCommands::removeSelected() {
    const std::vector<std::size_t> positions = table_.selection().positions();
    if (positions.empty()) return;
    table_.change([&](JobRows& rows) { rows.take(positions); });
    const std::size_t next = positions.back() + 1 - positions.size();
    if (table_.count() > 0) table_.selection().select({std::min<std::size_t>(next, table_.count() - 1)});
}

// Copies of the selected rows right after each, selected; unticked, as a tick is the artist's
// choice of rows, not part of the job.
void TableCommands::duplicateSelected() {
    const std::vector<std::size_t> positions = table_.selection().positions();
    const JobRows& table = table_.rows();
    std::vector<JobRows::PlacedRow> copies;
    std::vector<std::size_t> placed;
    for (std::size_t k = 0; k < positions.size(); ++k) {
        JobRow copy = table.row(positions[k]);
        copy.ticked = false;
        copies.push_back({positions[k] + k + 1, std::move(copy)});
        placed.push_back(positions[k] + k + 1);
    }
    if (copies.empty()) return;
    table_.change([&](JobRows& rows) { rows.insert(std::move(copies)); });
    table_.selection().select(placed);
}

// Rows after the last selected row, or at the end without a selection; selected.
void TableCommands::insertAfterSelection(std::vector<RenderJob> jobs) {
    if (jobs.empty()) return;
    const std::vector<std::size_t>& positions = table_.selection().positions();
    const std::size_t at = positions.empty() ? static_cast<std::size_t>(table_.count()) : positions.back() + 1;
    std::vector<JobRows::PlacedRow> added;
    std::vector<std::size_t> placed;
    for (RenderJob& job : jobs) {
        placed.push_back(at + added.size());
        added.push_back({at + added.size(), JobRow{std::move(job), false, nullptr, 0}});
    }
    table_.change([&](JobRows& rows) { rows.insert(std::move(added)); });
    table_.selection().select(placed);
}

// Explorer with the row's scene selected; a scene that is not there is said, not shown.
void TableCommands::showScene() {
    const std::optional<std::size_t> row = table_.selection().current();
    if (!row) return;
    const std::wstring scene = table_.rows().cell(*row, JobColumnScene);
    if (!platform_.showInExplorer(scene)) platform_.showMessage(L"找不到场景文件：" + scene);
}

void TableCommands::openOutputFolder() {
    const std::optional<std::size_t> row = table_.selection().current();
    if (row) OpenOutputFolder(platform_, table_.rows().cell(*row, JobColumnOutputFolder));
}

}  // namespace ravolen
