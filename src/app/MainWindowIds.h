#pragma once

#include <windows.h>

#include "app/MainWindow.h"

// The main window's control and command ids and the constants its parts share; seen only by the
// files that make up the main window.
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
    IdSpareLabel,
    IdSceneLabel,
    IdInstallFolderBox,
    IdUnifiedFolderBox,
    IdUnifiedFormatBox,
    IdShutdownCheck,
    IdUnifiedFolderCheck,
    IdUnifiedFormatCheck,
    IdJobTable,
    IdCellEditor,
    IdStripesPicture,
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
};

inline constexpr int MaxInstallationItems = 100;

inline constexpr UINT_PTR IdStatusTimer = 1;
inline constexpr UINT_PTR IdTimerSession = MainWindow::SessionTimerId;

// Posted once the window shows, for the session files start-up found damaged or unreadable.
inline constexpr UINT WmShowSessionFiles = WM_APP + 16;
// An automatic session save could not write a file (posted by the writer).
inline constexpr UINT WmSessionSaveFailed = WM_APP + 20;

// The 渲染 menu's position on the menu bar, after 文件 and 编辑.
inline constexpr int RenderMenuPosition = 2;

}  // namespace ravolen::mainwindow
