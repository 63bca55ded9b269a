#include "app/MainWindow.h"

#include <commctrl.h>
#include <shellapi.h>

#include <array>
#include <utility>

#include "app/JobDialog.h"
#include "app/MainWindowIds.h"
#include "app/ResultsDialog.h"
#include "app/FolderPick.h"
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

HMENU MainWindow::createMenu() {
    const HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, IdMenuOpen, L"打开任务列表(&O)…\tCtrl+O");
    AppendMenuW(file, MF_STRING, IdMenuSave, L"保存任务列表(&S)…\tCtrl+S");
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file, MF_STRING, IdMenuExit, L"退出(&X)");

    const HMENU versions = CreatePopupMenu();
    installations_.list(versions, L"");  // listed again with the install folder as the menu opens
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

    table_.bind(item(IdJobTable), item(IdCellEditor), dpi());
    table_.onChanged([this](const RowsChange& change) {
        // A tick is no part of the session, nor of the labels or the commands.
        if (change.kind == RowsChange::Kind::Ticks) return;
        // Rows that use the optional columns show them.
        document_.settings.optionalColumns = table_.optionalColumnsShown();
        statusDue();
        session_.changed();
    });
    table_.onKey([this](UINT key) { return tableCommands_.onKey(key); });
    table_.onContextMenu([this](POINT screen) { tableCommands_.showMenu(screen); });
    tableCommands_.attach(hwnd());
    files_.attach(item(IdJobTable));
    nights_.attach(hwnd());

    restoreSession();
    nights_.join();  // after the session: the night's rows are the table's as it was
    showSettings();  // and the commands
    showStatus();
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
            files_.drop(reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_INITMENUPOPUP: {
            const auto menu = reinterpret_cast<HMENU>(wParam);
            const HMENU versions = GetSubMenu(GetSubMenu(GetMenu(hwnd()), RenderMenuPosition), 1);
            if (menu == versions) installations_.list(versions, document_.settings.installFolder);
            else showCommands(menu);
            break;
        }
        case WmShowStatus:
            statusDue_ = false;
            showStatus();
            showCommands();
            return 0;
        // Windows ending the session (the script's own shutdown does) may end the program at any
        // moment after these: the session is on disk before they return.
        case WM_QUERYENDSESSION: session_.saveNow(); break;
        case WM_ENDSESSION:
            if (wParam) session_.saveNow();
            break;
        case WM_MOVE:
            if (!IsIconic(hwnd()) && !IsZoomed(hwnd())) {
                RECT frame{};
                GetWindowRect(hwnd(), &frame);
                placed_ = {frame.left, frame.top};
                windowPlaced_ = true;
                session_.changed();
            }
            break;
        case WmSessionSaveFailed:
            session_.onSaveFailed();
            return 0;
        case WmShowSessionFiles:
            if (!sessionFilesMessage_.empty()) platform_.showMessage(std::exchange(sessionFilesMessage_, {}));
            return 0;
        case WM_CLOSE:
            onExit();
            return 0;
        // The program lives as long as its main window, and the job editor no longer. A window
        // whose handler is still running (a message box of its own is open) goes once that returns.
        case WM_DESTROY:
            session_.saveNow();  // 退  出 and the close box alike
            session_.stop();
            win::Window::Dispose(jobDialog_);
            win::Window::Dispose(results_);
            nights_.close();
            win::Window::SetFailureReport(nullptr);
            PostQuitMessage(0);
            break;
        default: break;
    }
    if (const std::optional<LRESULT> night = nights_.onMessage(message, wParam, lParam)) return *night;
    return Form::onMessage(message, wParam, lParam);
}

bool MainWindow::onCommand(int id, int code) {
    // Any command may change what the session holds; saving once too often costs nothing.
    session_.changed();
    if (id < IdMenuOpen && controlChanged(id, code)) return true;
    // A button's click, a menu's item, or a shortcut key's.
    if (id < IdMenuOpen ? code != BN_CLICKED : code != 0 && code != 1) return false;
    if (id >= IdMenuInstallation && id < IdMenuInstallation + MaxInstallationItems) {
        if (const auto folder = installations_.folder(id - IdMenuInstallation)) {
            win::SetText(item(IdInstallFolderBox), *folder);
        }
        return true;
    }
    if (tableCommands_.run(id, code)) return true;
    switch (id) {
        case IdMenuOpen: files_.openJobList(); break;
        case IdMenuSave: files_.saveJobList(); break;
        case IdMenuExit:
        case IdExitButton: onExit(); break;
        case IdMenuResults: openResults(); break;
        case IdMenuNightOptions: nights_.openNightOptions(); break;
        case IdMenuLocal:
            document_.settings.way = RenderWay::Local;
            showCommands();
            break;
        case IdMenuDeadline: nights_.openFarmDialog(RenderWay::Deadline); break;
        case IdMenuBackburner: nights_.openFarmDialog(RenderWay::Backburner); break;
        case IdMenuOptionalColumns:
            table_.showOptionalColumns(!document_.settings.optionalColumns);
            document_.settings.optionalColumns = table_.optionalColumnsShown();
            showCommands();
            break;
        case IdRenderButton: nights_.render(); break;
        case IdAddJobButton: openJobDialog(); break;
        // "-": every ticked row, with its tick and saved values; 撤销 brings them back.
        case IdRemoveTickedButton: table_.change([](JobRows& rows) { rows.takeTicked(); }); break;
        case IdQuickAddButton: files_.quickAdd(); break;
        case IdClearButton: table_.change([](JobRows& rows) { rows.takeAll(); }); break;
        case IdInstallFolderButton: PickFolderInto(platform_, item(IdInstallFolderBox)); break;
        case IdUnifiedFolderButton: PickFolderInto(platform_, item(IdUnifiedFolderBox)); break;
        case IdCancelShutdownButton: nights_.cancelShutdown(); break;
        case IdCancelRenderButton: nights_.cancelRender(); break;
        default: return false;
    }
    return true;
}

std::optional<LRESULT> MainWindow::onNotify(NMHDR& header) {
    if (header.idFrom != IdJobTable) return std::nullopt;
    const std::optional<LRESULT> answer = table_.notify(header);
    // The labels and commands follow the selection; a box the list ticks changes neither.
    const auto selectionBits = [](UINT before, UINT after) { return ((before ^ after) & (LVIS_SELECTED | LVIS_FOCUSED)) != 0; };
    if (header.code == LVN_ITEMCHANGED) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if (!(change.uChanged & LVIF_STATE) || selectionBits(change.uOldState, change.uNewState)) statusDue();
    } else if (header.code == LVN_ODSTATECHANGED) {
        const auto& range = reinterpret_cast<const NMLVODSTATECHANGE&>(header);
        if (selectionBits(range.uOldState, range.uNewState)) statusDue();
    }
    return answer;
}

void MainWindow::onTimer(UINT_PTR id) {
    if (id == IdTimerNight) nights_.beat();
    if (id == IdTimerSession) session_.saveDue();
}

// Ends the program at once; a running render and a pending shutdown go on. A Deadline
// submission under way is ended only when the artist says so.
void MainWindow::onExit() {
    if (nights_.mayExit() && hwnd()) DestroyWindow(hwnd());
}

// "+": the job editor dialog, created on first use and after its close box destroyed it.
void MainWindow::openJobDialog() {
    if (!jobDialog()) {
        win::Window::Dispose(jobDialog_);
        auto dialog = std::make_unique<JobDialog>(platform_, static_cast<JobTableHost&>(*this));
        if (!dialog->create()) return;
        jobDialog_ = std::move(dialog);
    }
    jobDialog_->show();
}

// 编辑任务…: the job editor opened on the row; its OK writes the row back where it stands.
void MainWindow::editJob() {
    const std::optional<std::size_t> row = table_.selection().current();
    if (!row) return;
    openJobDialog();
    if (jobDialog()) jobDialog_->edit(table_.shown().id(*row), table_.shown().job(*row));
}

void MainWindow::openResults() {
    table_.commitEdit();
    if (resultsDialog()) {
        results_->show();
        return;
    }
    auto dialog = std::make_unique<ResultsDialog>(
        platform_, static_cast<JobTableHost&>(*this), [this] { return nights_.view(); },
        [this](const std::vector<std::size_t>& positions) { nights_.renderRows(positions); });
    dialog->restoreSizes({resultsSize_, logSize_});
    if (dialog->create(hwnd())) results_ = std::move(dialog);
}

}  // namespace ravolen
