#include "app/MainWindow.h"

#include <commctrl.h>
#include <shellapi.h>

#include <array>
#include <utility>

#include "app/CountdownWindow.h"
#include "app/DeadlineProgress.h"
#include "app/FarmDialog.h"
#include "app/FolderPick.h"
#include "app/JobDialog.h"
#include "app/MainWindowIds.h"
#include "app/NightFollower.h"
#include "app/NightOptionsDialog.h"
#include "app/ResultsDialog.h"
#include "base/BoxOwner.h"
#include "win/Controls.h"

namespace ravolen {
namespace {

using win::ControlKind;
using win::ControlSpec;
using namespace mainwindow;

constexpr COLORREF Red = RGB(255, 0, 0);
constexpr COLORREF DarkRed = RGB(192, 0, 0);
constexpr COLORREF Lavender = RGB(128, 128, 255);

// Twips; the controls inside settingsFrame are placed from the frame's corner.
const std::array<ControlSpec, 26> Layout{{
    {.kind = ControlKind::Frame, .id = IdSettingsFrame, .name = L"settingsFrame",
     .left = 0, .top = 120, .width = 10215, .height = 5055, .tabIndex = 0,
     .caption = L"设置", .font = {9}},
    {.kind = ControlKind::Button, .id = IdRenderButton, .name = L"renderButton",
     .left = 0, .top = 5160, .width = 4335, .height = 855, .tabIndex = 1,
     .caption = L"渲  染", .font = {18, true},
     .tooltip = L"点击此按钮立即开始批量渲染，请耐心等待。。。"},
    {.kind = ControlKind::Button, .id = IdExitButton, .name = L"exitButton",
     .left = 5880, .top = 5160, .width = 4335, .height = 855, .tabIndex = 11,
     .caption = L"退  出", .font = {18, true}},
    {.kind = ControlKind::Button, .id = IdCancelRenderButton, .name = L"cancelRenderButton",
     .left = 4440, .top = 5160, .width = 1335, .height = 375, .tabIndex = 27,
     .caption = L"取消渲染", .tooltip = L"当渲染已经开始时，可以取消正在进行的渲染任务"},
    {.kind = ControlKind::Button, .id = IdCancelShutdownButton, .name = L"cancelShutdownButton",
     .left = 4440, .top = 5640, .width = 1335, .height = 375, .tabIndex = 23,
     .caption = L"取消关机", .tooltip = L"当倒计时关机时，此按钮可以用来解除关机"},
    {.kind = ControlKind::Label, .id = IdInstallFolderLabel, .name = L"installFolderLabel", .container = L"settingsFrame",
     .left = 600, .top = 240, .width = 1935, .height = 255, .tabIndex = 2,
     .caption = L"3dsMax的安装路径："},
    {.kind = ControlKind::TextBox, .id = IdInstallFolderBox, .name = L"installFolderBox", .container = L"settingsFrame",
     .left = 2520, .top = 200, .width = 5655, .height = 315, .tabIndex = 3,
     .caption = L"D:\\Program Files\\Autodesk\\3ds Max 2012"},
    {.kind = ControlKind::Button, .id = IdInstallFolderButton, .name = L"installFolderButton", .container = L"settingsFrame",
     .left = 8280, .top = 150, .width = 1695, .height = 375, .tabIndex = 8,
     .caption = L"指定MAX安装路径", .font = {9}},
    {.kind = ControlKind::CheckBox, .id = IdUnifiedFolderCheck, .name = L"unifiedFolderCheck", .container = L"settingsFrame",
     .left = 240, .top = 520, .width = 255, .height = 375, .tabIndex = 24, .font = {12}},
    {.kind = ControlKind::Label, .id = IdUnifiedFolderLabel, .name = L"unifiedFolderLabel", .container = L"settingsFrame",
     .left = 600, .top = 600, .width = 1935, .height = 255, .tabIndex = 12,
     .caption = L"统一渲染出图路径："},
    {.kind = ControlKind::TextBox, .id = IdUnifiedFolderBox, .name = L"unifiedFolderBox", .container = L"settingsFrame",
     .left = 2520, .top = 580, .width = 5655, .height = 315, .tabIndex = 13,
     .caption = L"renderOutput\\"},
    {.kind = ControlKind::Button, .id = IdUnifiedFolderButton, .name = L"unifiedFolderButton", .container = L"settingsFrame",
     .left = 8280, .top = 550, .width = 1695, .height = 375, .tabIndex = 17,
     .caption = L"指定渲染出图路径", .font = {9}},
    {.kind = ControlKind::CheckBox, .id = IdUnifiedFormatCheck, .name = L"unifiedFormatCheck", .container = L"settingsFrame",
     .left = 240, .top = 880, .width = 255, .height = 375, .tabIndex = 25, .font = {12}},
    {.kind = ControlKind::Label, .id = IdUnifiedFormatLabel, .name = L"unifiedFormatLabel", .container = L"settingsFrame",
     .left = 600, .top = 975, .width = 1995, .height = 255, .tabIndex = 15,
     .caption = L"统一保存图片格式："},
    {.kind = ControlKind::TextBox, .id = IdUnifiedFormatBox, .name = L"unifiedFormatBox", .container = L"settingsFrame",
     .left = 2520, .top = 960, .width = 735, .height = 315, .tabIndex = 14, .caption = L".tga"},
    {.kind = ControlKind::Label, .id = IdFormatHintLabel, .name = L"formatHintLabel", .container = L"settingsFrame",
     .left = 3360, .top = 1005, .width = 6735, .height = 255, .tabIndex = 16,
     .caption = L"请输入正规图片格式： .jpg / .tga / .bmp / .png / .tif / .hdr ..."},
    {.kind = ControlKind::Button, .id = IdQuickAddButton, .name = L"quickAddButton", .container = L"settingsFrame",
     .left = 5640, .top = 1485, .width = 1095, .height = 375, .tabIndex = 9,
     .caption = L"快速添加", .font = {9}, .tooltip = L"可以一次添加多个Max文件路径"},
    {.kind = ControlKind::Button, .id = IdAddJobButton, .name = L"addJobButton", .container = L"settingsFrame",
     .left = 7200, .top = 1485, .width = 855, .height = 375, .tabIndex = 6,
     .caption = L"+", .font = {12, true}, .tooltip = L"添加单个Max文件路径，并设置"},
    {.kind = ControlKind::Button, .id = IdRemoveTickedButton, .name = L"removeTickedButton", .container = L"settingsFrame",
     .left = 8040, .top = 1485, .width = 855, .height = 375, .tabIndex = 7,
     .caption = L"-", .font = {12, true}, .tooltip = L"删除勾选的Max文件路径"},
    {.kind = ControlKind::Button, .id = IdClearButton, .name = L"clearButton", .container = L"settingsFrame",
     .left = 9360, .top = 1485, .width = 615, .height = 375, .tabIndex = 10,
     .caption = L"清空", .tooltip = L"清空表单"},
    {.kind = ControlKind::Label, .id = IdScenesLabel, .name = L"scenesLabel", .container = L"settingsFrame",
     .left = 120, .top = 1680, .width = 1455, .height = 255, .tabIndex = 4,
     .caption = L"Max文件路径："},
    {.kind = ControlKind::Label, .id = IdJobCountLabel, .name = L"jobCountLabel", .container = L"settingsFrame",
     .left = 1440, .top = 1680, .width = 1455, .height = 255, .tabIndex = 19,
     .caption = L"一共100个文件", .font = {9}, .textColour = DarkRed},
    // sceneLabel lies above the job table, whose top edge its last pixel overlaps.
    {.kind = ControlKind::Label, .id = IdSceneLabel, .name = L"sceneLabel", .container = L"settingsFrame",
     .left = 2880, .top = 1680, .width = 2655, .height = 255, .tabIndex = 26,
     .caption = L"XXXX.max", .font = {9}, .textColour = Lavender, .onTop = true},
    {.kind = ControlKind::ListView, .id = IdJobTable, .name = L"jobTable",
     .container = L"settingsFrame", .left = 120, .top = 1920, .width = 9975, .height = 2790,
     .tabIndex = 22, .style = LVS_OWNERDATA, .listViewExStyle = LVS_EX_CHECKBOXES},
    {.kind = ControlKind::CheckBox, .id = IdShutdownCheck, .name = L"shutdownCheck", .container = L"settingsFrame",
     .left = 120, .top = 4750, .width = 2535, .height = 210, .tabIndex = 5,
     .caption = L"渲染完成后自动关机", .textColour = Red},
    // The table's in-place cell editor lies above the list.
    {.kind = ControlKind::TextBox, .id = IdCellEditor, .name = L"cellEditor", .container = L"settingsFrame",
     .left = 6360, .top = 2880, .width = 615, .height = 495, .tabIndex = 21, .onTop = true},
}};

constexpr int ClientWidth = 10200;
constexpr int ClientHeight = 6045;
constexpr double WindowFontPoints = 10.5;

}  // namespace

const win::CommandRoute<MainWindow> MainWindow::Commands[] = {
    {IdMenuOpen, 0, &MainWindow::onOpenJobListClicked},  // 0 from the menu, 1 from the shortcut key
    {IdMenuOpen, 1, &MainWindow::onOpenJobListClicked},
    {IdMenuSave, 0, &MainWindow::onSaveJobListClicked},
    {IdMenuSave, 1, &MainWindow::onSaveJobListClicked},
    {IdMenuExit, 0, &MainWindow::onExitClicked},
    {IdMenuResults, 0, &MainWindow::onResultsClicked},
    {IdMenuNightOptions, 0, &MainWindow::onNightOptionsClicked},
    {IdMenuLocal, 0, &MainWindow::onRenderHereClicked},
    {IdMenuDeadline, 0, &MainWindow::onDeadlineClicked},
    {IdMenuBackburner, 0, &MainWindow::onBackburnerClicked},
    {IdMenuUndo, 0, &MainWindow::onUndoClicked},
    {IdMenuUndo, 1, &MainWindow::onUndoKeyPressed},
    {IdMenuRedo, 0, &MainWindow::onRedoClicked},
    {IdMenuRedo, 1, &MainWindow::onRedoKeyPressed},
    {IdMenuCut, 0, &MainWindow::onCutClicked},
    {IdMenuCopy, 0, &MainWindow::onCopyClicked},
    {IdMenuPaste, 0, &MainWindow::onPasteClicked},
    {IdMenuDelete, 0, &MainWindow::onDeleteClicked},
    {IdMenuSelectAll, 0, &MainWindow::onSelectAllClicked},
    {IdMenuDuplicate, 0, &MainWindow::onDuplicateClicked},
    {IdMenuMoveUp, 0, &MainWindow::onMoveUpClicked},
    {IdMenuMoveDown, 0, &MainWindow::onMoveDownClicked},
    {IdMenuMoveFirst, 0, &MainWindow::onMoveFirstClicked},
    {IdMenuMoveLast, 0, &MainWindow::onMoveLastClicked},
    {IdMenuEditJob, 0, &MainWindow::onEditJobClicked},
    {IdMenuTickSelected, 0, &MainWindow::onTickSelectedClicked},
    {IdMenuUntickSelected, 0, &MainWindow::onUntickSelectedClicked},
    {IdMenuShowScene, 0, &MainWindow::onShowSceneClicked},
    {IdMenuOpenOutputFolder, 0, &MainWindow::onOpenOutputFolderClicked},
    {IdMenuOptionalColumns, 0, &MainWindow::onOptionalColumnsClicked},
    {IdRenderButton, BN_CLICKED, &MainWindow::onRenderClicked},
    {IdAddJobButton, BN_CLICKED, &MainWindow::onAddJobClicked},
    {IdRemoveTickedButton, BN_CLICKED, &MainWindow::onRemoveTickedClicked},
    {IdInstallFolderButton, BN_CLICKED, &MainWindow::onPickInstallFolderClicked},
    {IdQuickAddButton, BN_CLICKED, &MainWindow::onQuickAddClicked},
    {IdClearButton, BN_CLICKED, &MainWindow::onClearClicked},
    {IdExitButton, BN_CLICKED, &MainWindow::onExitClicked},
    {IdUnifiedFolderButton, BN_CLICKED, &MainWindow::onPickUnifiedFolderClicked},
    {IdUnifiedFolderCheck, BN_CLICKED, &MainWindow::onUnifiedFolderTicked},
    {IdUnifiedFormatCheck, BN_CLICKED, &MainWindow::onUnifiedFormatTicked},
    {IdUnifiedFolderBox, EN_CHANGE, &MainWindow::onUnifiedFolderChanged},
    {IdUnifiedFormatBox, EN_CHANGE, &MainWindow::onUnifiedFormatChanged},
    {IdCancelShutdownButton, BN_CLICKED, &MainWindow::onCancelShutdownClicked},
    {IdCancelRenderButton, BN_CLICKED, &MainWindow::onCancelRenderClicked},
};

HMENU MainWindow::createMenu() {
    const HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, IdMenuOpen, L"打开任务列表(&O)…\tCtrl+O");
    AppendMenuW(file, MF_STRING, IdMenuSave, L"保存任务列表(&S)…\tCtrl+S");
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file, MF_STRING, IdMenuExit, L"退出(&X)");

    const HMENU versions = CreatePopupMenu();
    listInstallations(versions);
    const HMENU render = CreatePopupMenu();
    AppendMenuW(render, MF_STRING, IdMenuResults, L"渲染结果(&V)…");
    AppendMenuW(render, MF_POPUP, reinterpret_cast<UINT_PTR>(versions), L"3dsMax版本");
    const HMENU ways = CreatePopupMenu();
    AppendMenuW(ways, MF_STRING, IdMenuLocal, L"本机渲染");
    AppendMenuW(ways, MF_STRING, IdMenuDeadline, L"提交到Deadline…");
    AppendMenuW(ways, MF_STRING, IdMenuBackburner, L"提交到Backburner…");
    CheckMenuRadioItem(ways, IdMenuLocal, IdMenuBackburner, IdMenuLocal, MF_BYCOMMAND);
    AppendMenuW(render, MF_POPUP, reinterpret_cast<UINT_PTR>(ways), L"渲染方式");
    AppendMenuW(render, MF_STRING, IdMenuNightOptions, L"夜间选项(&N)…");

    const HMENU edit = CreatePopupMenu();
    AppendEditItems(edit, EditMenuItems);
    AppendMenuW(edit, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(edit, MF_STRING, IdMenuOptionalColumns, L"显示帧、场景状态和渲染预设列(&M)");

    const HMENU bar = CreateMenu();
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"文件(&F)");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), L"编辑(&E)");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(render), L"渲染(&R)");
    return bar;
}

// The installations Windows knows, newest first, after the install folder box's own folder when it
// holds the renderer (marked 当前): listed again each time the menu opens, as the box changes.
void MainWindow::listInstallations(HMENU versions) {
    while (GetMenuItemCount(versions) > 0) DeleteMenu(versions, 0, MF_BYPOSITION);
    std::wstring current = win::WindowText(item(IdInstallFolderBox));
    while (!current.empty() && (current.back() == L'\\' || current.back() == L'/')) current.pop_back();
    installations_.clear();
    if (!current.empty() && platform_.fileExists(current + L"\\3dsmaxcmd.exe")) installations_.push_back({0, current});
    for (MaxInstallation& found : platform_.maxInstallations()) {
        if (installations_.empty() || installations_.front().year != 0 ||
            FoldCase(found.folder) != FoldCase(current)) {
            installations_.push_back(std::move(found));
        }
    }
    if (installations_.size() > MaxInstallationItems) installations_.resize(MaxInstallationItems);
    for (std::size_t i = 0; i < installations_.size(); ++i) {
        std::wstring caption = installations_[i].year == 0 ? L"当前：" + installations_[i].folder
                                                           : L"3ds Max " + std::to_wstring(installations_[i].year);
        for (std::size_t at = caption.find(L'&'); at != std::wstring::npos; at = caption.find(L'&', at + 2)) {
            caption.insert(at, 1, L'&');  // a folder's & is no mnemonic
        }
        AppendMenuW(versions, MF_STRING, IdMenuInstallation + static_cast<UINT_PTR>(i), caption.c_str());
    }
    if (installations_.empty()) {
        AppendMenuW(versions, MF_STRING | MF_GRAYED, IdMenuNoInstallation, L"未找到3dsMax");
    }
}

MainWindow::Startup MainWindow::create() {
    ACCEL keys[] = {{FCONTROL | FVIRTKEY, 'O', IdMenuOpen},
                    {FCONTROL | FVIRTKEY, 'S', IdMenuSave},
                    {FCONTROL | FVIRTKEY, 'Z', IdMenuUndo},
                    {FCONTROL | FVIRTKEY, 'Y', IdMenuRedo}};
    shortcuts_.reset(CreateAcceleratorTableW(keys, static_cast<int>(std::size(keys))));
    if (!createForm(L"RavolenMainWindow", L"RavolenV1.0    --Quorth", ClientWidth, ClientHeight,
                    WindowFontPoints, createMenu()) ||
        !createControls(Layout)) {
        destroyWindow();
        return Startup::Failed;
    }
    session_.attach(hwnd());
    try {
        if (!onLoad()) {
            destroyWindow();
            return Startup::AlreadyRunning;
        }
    } catch (const ListError&) {
        destroyWindow();
        return Startup::Failed;
    }
    // A handler that failed leaves no silence: the main window says so, and the program goes on.
    win::Window::SetFailureReport([this](const std::wstring& what) {
        const BoxOwnerScope owner(hwnd());
        platform_.showMessage(L"程序内部错误：" + what + L"，刚才的操作没有完成。");
    });
    return Startup::Ready;
}

MainWindow::~MainWindow() {
    if (hwnd()) win::Window::SetFailureReport(nullptr);
    destroyWindow();
}

FarmDialog* MainWindow::farmDialog() const {
    return farmDialog_ && farmDialog_->hwnd() && IsWindowVisible(farmDialog_->hwnd()) ? farmDialog_.get()
                                                                                       : nullptr;
}

DeadlineProgress* MainWindow::deadlineSubmission() const {
    return submission_ && submission_->hwnd() && !submission_->done() ? submission_.get() : nullptr;
}

ResultsDialog* MainWindow::resultsDialog() const {
    return results_ && results_->hwnd() ? results_.get() : nullptr;
}

JobDialog* MainWindow::jobDialog() const {
    return jobDialog_ && jobDialog_->hwnd() ? jobDialog_.get() : nullptr;
}

bool MainWindow::onLoad() {
    if (platform_.previousInstanceRunning()) {
        // After an update's restart both the restart manager and RunOnce may start a copy.
        if (!startedByRestart) platform_.showMessage(L"该程序已经运行！！", MessageIcon::Information);
        return false;
    }
    // Windows ending the session closes programs in no set order: a night must hear of it
    // before its renderers are ended.
    platform_.askFirstAtSessionEnd();

    win::SetText(item(IdUnifiedFolderBox), platform_.programFolder() + L"\\renderOutput");

    table_.bind(item(IdJobTable), item(IdCellEditor), dpi());
    table_.onChanged([this] {
        showOptionalColumnsChoice();  // rows that use the optional columns show them
        showHistory();
        sessionChanged();
    });
    table_.onKey([this](UINT key) { return onTableKey(key); });
    table_.onContextMenu([this](POINT screen) { showTableMenu(screen); });
    table_.onStepState([this] { return unifiedBoxesNow(); });

    restoreSession();
    joinNight();  // after the session: the night's rows are the table's as it was
    if (!night_) {
        // No night of this program runs: nothing to come back for after a restart.
        platform_.unregisterRestart();
        PostMessageW(hwnd(), WmOfferCutShortNight, 0, 0);
    }
    showHistory();

    SetTimer(hwnd(), IdTimerStatus, StatusInterval, nullptr);
    // What DragAcceptFiles does, without loading the shell's library at start-up for it.
    SetWindowLongPtrW(hwnd(), GWL_EXSTYLE, GetWindowLongPtrW(hwnd(), GWL_EXSTYLE) | WS_EX_ACCEPTFILES);
    return true;
}

// The rows take the new font's height by themselves, the columns their new widths from the
// form; the in-place editor and the stripes follow here.
void MainWindow::onDpiChanged(int) { table_.scale(dpi()); }

LRESULT MainWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DROPFILES:
            dropFiles(reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_INITMENUPOPUP: {
            const HMENU versions = GetSubMenu(GetSubMenu(GetMenu(hwnd()), RenderMenuPosition), 1);
            if (reinterpret_cast<HMENU>(wParam) == versions) listInstallations(versions);
            if (reinterpret_cast<HMENU>(wParam) == GetSubMenu(GetMenu(hwnd()), EditMenuPosition)) {
                greyEditCommands(reinterpret_cast<HMENU>(wParam));
            }
            break;
        }
        case WmNightNotice:
            if (notice_.clicked(lParam)) onResultsClicked();
            return 0;
        case WM_ACTIVATE:
            notice_.activated(wParam);  // the artist is here: the morning's notice has done its work
            break;
        case WmOfferCutShortNight:
            offerCutShortNight();
            return 0;
        // Windows ending the session (the script's own shutdown does) may end the program at any
        // moment after these: the session is on disk before they return.
        case WM_QUERYENDSESSION:
            session_.saveNow();
            if (night_) night_->sessionEnding();
            return TRUE;
        case WM_ENDSESSION:
            if (wParam) session_.saveNow();
            if (night_) night_->sessionEnded(wParam != 0);
            return 0;
        case WM_POWERBROADCAST:
            if (night_) night_->powerChanged(static_cast<unsigned>(wParam));
            break;
        case WM_MOVE:
            if (!IsIconic(hwnd()) && !IsZoomed(hwnd())) {
                RECT frame{};
                GetWindowRect(hwnd(), &frame);
                windowLeft_ = frame.left;
                windowTop_ = frame.top;
                windowPlaced_ = true;
                sessionChanged();
            }
            break;
        case WmSessionSaveFailed:
            session_.onSaveFailed();
            return 0;
        case WmShowSessionFiles:
            if (!sessionFilesMessage_.empty()) platform_.showMessage(std::exchange(sessionFilesMessage_, {}));
            return 0;
        default: break;
    }
    if (notice_.taskbarCreated(message)) return 0;
    if (message == taskbarButtonCreated_ && taskbarButtonCreated_ != 0) {
        if (night_) night_->showProgressAgain();
        return 0;
    }
    if (message == WM_CLOSE) {
        onExitClicked();
        return 0;
    }
    // The program lives as long as its main window, and the job editor no longer. A window whose
    // handler is still running (a message box of its own is open) goes once that returns.
    if (message == WM_DESTROY) {
        session_.saveNow();  // 退  出 and the close box alike
        session_.stop();
        win::Window::Dispose(jobDialog_);
        win::Window::Dispose(results_);
        night_.reset();  // stops following; the render goes on
        notice_.remove();
        win::Window::Dispose(farmDialog_);
        win::Window::Dispose(nightOptionsDialog_);
        win::Window::Dispose(countdown_);
        win::Window::Dispose(submission_);
        win::Window::SetFailureReport(nullptr);
        PostQuitMessage(0);
    }
    return Form::onMessage(message, wParam, lParam);
}

bool MainWindow::onCommand(int id, int code) {
    // Any command may change what the session holds; saving once too often costs nothing.
    sessionChanged();
    if (code == 0 && id >= IdMenuInstallation && id < IdMenuInstallation + MaxInstallationItems) {
        chooseInstallation(id - IdMenuInstallation);
        return true;
    }
    return win::RouteCommand<MainWindow>(*this, Commands, id, code);
}

std::optional<LRESULT> MainWindow::onNotify(NMHDR& header) {
    if (header.idFrom == IdJobTable) return table_.notify(header);
    return std::nullopt;
}

void MainWindow::onTimer(UINT_PTR id) {
    if (id == IdTimerStatus) onStatusTimer();
    if (id == IdTimerNight) onNightTimer();
    if (id == IdTimerSession) session_.saveDue();
}

void MainWindow::onPickInstallFolderClicked() { PickFolderInto(platform_, item(IdInstallFolderBox)); }

void MainWindow::onPickUnifiedFolderClicked() { PickFolderInto(platform_, item(IdUnifiedFolderBox)); }

// Ends the program at once; a running render and a pending shutdown go on. A Deadline
// submission under way is ended only when the artist says so.
void MainWindow::onExitClicked() {
    if (submission_ && submission_->running()) {
        if (!platform_.ask(L"正在提交到Deadline，确定要停止提交并退出吗？")) return;
        if (submission_) submission_->abandon();
    }
    if (hwnd()) DestroyWindow(hwnd());
}

}  // namespace ravolen
