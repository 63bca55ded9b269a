#pragma once

#include <windows.h>

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
};

inline constexpr int MaxInstallationItems = 100;
// 编辑's last item, clear of the installations' ids.
inline constexpr int IdMenuOptionalColumns = IdMenuInstallation + MaxInstallationItems;

// The window's timers: the status labels follow the table, the session is saved a moment after a
// change, and the night's render is followed once a second.
inline constexpr UINT_PTR IdTimerStatus = 1;
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

// The 渲染 menu's position on the menu bar, after 文件 and 编辑.
inline constexpr int RenderMenuPosition = 2;

}  // namespace ravolen::mainwindow
