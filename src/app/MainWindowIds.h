#pragma once

#include <windows.h>

#include "app/MainWindow.h"

// The main window's control and command ids and the constants its parts share; seen only by the
// files that make up the main window.
namespace ravolen::mainwindow {

enum ControlId : int {  // clear of IDOK and IDCANCEL, which IsDialogMessage sends on Enter and Esc
    IdFrame1 = 1001,
    IdCommand1,
    IdCommand2,
    IdCommand3,
    IdCommand4,
    IdCommand5,
    IdCommand6,
    IdCommand7,
    IdCommand8,
    IdCommand9,
    IdCommand10,
    IdLabel1,
    IdLabel2,
    IdLabel3,
    IdLabel4,
    IdLabel5,
    IdLabel6,
    IdLabel7,
    IdLabel8,
    IdText1,
    IdText2,
    IdText3,
    IdCheck1,
    IdCheck2,
    IdCheck3,
    IdListView1,
    IdTxtQty,
    IdPicture1,
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

// Posted once the window shows, for what start-up found damaged.
inline constexpr UINT WmShowDamaged = WM_APP + 16;

// The 渲染 menu's position on the menu bar, after 文件 and 编辑.
inline constexpr int RenderMenuPosition = 2;

}  // namespace ravolen::mainwindow
