#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>

#include "document/Commands.h"

// The main window's control, command and timer ids and the constants its parts share; seen by the
// files that make up the main window and by the tests that drive it. A leaf: nothing of the window.
namespace ravolen::mainwindow {

enum ControlId : int {  // clear of IDOK and IDCANCEL, which IsDialogMessage sends on Enter and Esc
    IdSettingsFrame = 1001,
    IdRenderButton,
    IdAddJobButton,
    IdRemoveTickedButton,
    IdInstallFolderButton,
    IdQuickAddButton,
    IdClearButton,
    IdExitButton,
    IdUnifiedFolderButton,
    IdCancelShutdownButton,
    IdCancelRenderButton,
    IdInstallFolderLabel,
    IdScenesLabel,
    IdUnifiedFolderLabel,
    IdUnifiedFormatLabel,
    IdFormatHintLabel,
    IdJobCountLabel,
    IdSceneLabel = 1019,  // the ids stay as they were: a tool that drives the window may know them
    IdInstallFolderBox,
    IdUnifiedFolderBox,
    IdUnifiedFormatBox,
    IdShutdownCheck,
    IdUnifiedFolderCheck,
    IdUnifiedFormatCheck,
    IdJobTable,
    IdCellEditor,
    IdMenuOpen = 3001,  // the menu bar
    IdMenuSave,
    IdMenuExit,
    IdMenuResults,
    IdMenuNoInstallation,
    IdMenuLocal,
    IdMenuDeadline,
    IdMenuBackburner,
    IdMenuUndo,
    IdMenuInstallation,  // the first installation; the others follow
    IdMenuNightOptions = 3200,  // clear of the installations
    IdMenuRedo = 3300,  // 编辑's commands on rows, which the table's context menu shares
    IdMenuCut,
    IdMenuCopy,
    IdMenuPaste,
    IdMenuDelete,
    IdMenuSelectAll,
    IdMenuDuplicate,
    IdMenuMoveUp,
    IdMenuMoveDown,
    IdMenuMoveFirst,
    IdMenuMoveLast,
    IdMenuEditJob,
    IdMenuTickSelected,
    IdMenuUntickSelected,
    IdMenuShowScene,
    IdMenuOpenOutputFolder,
};

inline constexpr int MaxInstallationItems = 100;
// 编辑's last item, clear of the installations' ids.
inline constexpr int IdMenuOptionalColumns = IdMenuInstallation + MaxInstallationItems;

// 编辑's items on rows, in the order the keyboard and automation tools know them (0: a separator),
// and the table's context menu, which shares their ids.
struct MenuItem {
    int id;
    const wchar_t* caption;
};
inline constexpr MenuItem EditMenuItems[] = {
    {IdMenuUndo, L"撤销(&U)\tCtrl+Z"},
    {IdMenuRedo, L"重做(&R)\tCtrl+Y"},
    {0, nullptr},
    {IdMenuCut, L"剪切(&T)\tCtrl+X"},
    {IdMenuCopy, L"复制(&C)\tCtrl+C"},
    {IdMenuPaste, L"粘贴(&P)\tCtrl+V"},
    {IdMenuDelete, L"删除(&L)\tDel"},
    {IdMenuSelectAll, L"全选(&A)\tCtrl+A"},
    {0, nullptr},
    {IdMenuDuplicate, L"复制为新任务(&D)\tCtrl+D"},
    {IdMenuMoveUp, L"上移(&K)\tAlt+↑"},
    {IdMenuMoveDown, L"下移(&J)\tAlt+↓"},
    {IdMenuMoveFirst, L"移到最前(&F)"},
    {IdMenuMoveLast, L"移到最后(&B)"},
    {0, nullptr},
    {IdMenuEditJob, L"编辑任务(&E)…\tEnter"},
    {IdMenuTickSelected, L"勾选所选(&G)"},
    {IdMenuUntickSelected, L"取消勾选所选(&N)"},
    {IdMenuShowScene, L"在资源管理器中显示场景(&S)"},
    {IdMenuOpenOutputFolder, L"打开出图文件夹(&O)"},
};
inline constexpr MenuItem TableMenuItems[] = {
    {IdMenuEditJob, L"编辑任务(&E)…\tEnter"},
    {IdMenuDuplicate, L"复制为新任务(&D)\tCtrl+D"},
    {0, nullptr},
    {IdMenuMoveUp, L"上移(&K)\tAlt+↑"},
    {IdMenuMoveDown, L"下移(&J)\tAlt+↓"},
    {IdMenuMoveFirst, L"移到最前(&F)"},
    {IdMenuMoveLast, L"移到最后(&B)"},
    {0, nullptr},
    {IdMenuDelete, L"删除(&L)\tDel"},
    {0, nullptr},
    {IdMenuTickSelected, L"勾选所选(&G)"},
    {IdMenuUntickSelected, L"取消勾选所选(&N)"},
    {0, nullptr},
    {IdMenuShowScene, L"在资源管理器中显示场景(&S)"},
    {IdMenuOpenOutputFolder, L"打开出图文件夹(&O)"},
};
template <std::size_t N>
void AppendEditItems(HMENU menu, const MenuItem (&items)[N]) {
    for (const MenuItem& entry : items) {
        if (entry.id == 0) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        } else {
            AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(entry.id), entry.caption);
        }
    }
}

// The commands whose state can change, by the ids of their buttons and menu items.
struct CommandItem {
    int id;
    Command command;
};
inline constexpr CommandItem CommandItems[] = {
    {IdRenderButton, Command::Render},
    {IdMenuUndo, Command::Undo},
    {IdMenuRedo, Command::Redo},
    {IdMenuCut, Command::Cut},
    {IdMenuCopy, Command::Copy},
    {IdMenuPaste, Command::Paste},
    {IdMenuDelete, Command::Delete},
    {IdMenuSelectAll, Command::SelectAll},
    {IdMenuDuplicate, Command::Duplicate},
    {IdMenuMoveUp, Command::MoveUp},
    {IdMenuMoveDown, Command::MoveDown},
    {IdMenuMoveFirst, Command::MoveFirst},
    {IdMenuMoveLast, Command::MoveLast},
    {IdMenuEditJob, Command::EditJob},
    {IdMenuTickSelected, Command::TickSelected},
    {IdMenuUntickSelected, Command::UntickSelected},
    {IdMenuShowScene, Command::ShowScene},
    {IdMenuOpenOutputFolder, Command::OpenOutputFolder},
    {IdMenuOptionalColumns, Command::OptionalColumns},
    {IdMenuLocal, Command::RenderHere},
    {IdMenuDeadline, Command::RenderOnDeadline},
    {IdMenuBackburner, Command::RenderOnBackburner},
};
inline std::optional<Command> CommandOf(int id) {
    for (const CommandItem& item : CommandItems) {
        if (item.id == id) return item.command;
    }
    return std::nullopt;
}

// The window's timers: the session is saved a moment after a change, and the night's render is
// followed once a second.
inline constexpr UINT_PTR IdTimerSession = 2;
inline constexpr UINT_PTR IdTimerNight = 18;

// Posted once the window shows, for the session files start-up found damaged or unreadable.
inline constexpr UINT WmShowSessionFiles = WM_APP + 16;
// An automatic session save could not write a file (posted by the writer).
inline constexpr UINT WmSessionSaveFailed = WM_APP + 20;
// The shell tells of the notification that the night ended (clicked, or gone).
inline constexpr UINT WmNightNotice = WM_APP + 24;
// Posted once the window shows: a night cut short is offered again.
inline constexpr UINT WmOfferCutShortNight = WM_APP + 28;
// Posted when the rows or the selection changed: the labels and commands show it once.
inline constexpr UINT WmShowStatus = WM_APP + 32;

// The 编辑 and 渲染 menus' positions on the menu bar, after 文件.
inline constexpr int EditMenuPosition = 1;
inline constexpr int RenderMenuPosition = 2;

}  // namespace ravolen::mainwindow
