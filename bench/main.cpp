// Ravolen's benchmarks: every figure beside its floor, the same work done with bare Win32 calls
// in the same run, so that the ratio holds on a busy machine. Prints; asserts nothing.
//   ravolen_bench.exe [repetitions [figure...]]   figures: quickadd keystroke delete edit results
//                                                  session live script xlsx startup memory editor
//                                                  scale (100,000 rows) cpu (the processor left alone)
//   ravolen_bench.exe --stages [repetitions]       where the time of the edit, script and xlsx goes
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <psapi.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "BareJobEditor.h"
#include "Measure.h"
#include "minimal/MainWindowFloor.h"
#include "base/Handles.h"
#include "jobs/Workbook.h"
#include "jobs/Zip.h"
#include "app/JobDialog.h"
#include "app/MainWindow.h"
#include "app/NightFollower.h"
#include "app/ResultsDialog.h"
#include "app/MainWindowIds.h"
#include "app/ResultsDialog.h"
#include "platform/RenderJobFollower.h"
#include "platform/Win32Platform.h"
#include "jobs/JobListFile.h"
#include "jobs/QuickAdd.h"
#include "render/RenderCommand.h"
#include "render/RenderScript.h"
#include "win/Controls.h"
#include "win/MessageLoop.h"

namespace ravolen::bench {
namespace {

constexpr int Rows = 10000;
constexpr int ScriptRows = 100000;

// The real files and code page; every dialog answered, every process start pretended.
class BenchPlatform final : public Platform {
public:
    explicit BenchPlatform(std::wstring folder) : folder_(std::move(folder)) {
        // Process ids come again: a session an earlier run left under this one is not this run's.
        DeleteFileW((userDataFolder() + L"\\session.csv").c_str());
        DeleteFileW((userDataFolder() + L"\\settings.ini").c_str());
    }

    std::vector<std::wstring> openAnswer;

    std::wstring programFolder() const override { return folder_; }
    std::wstring systemFolder() const override { return real_.systemFolder(); }
    // Per process: a run holding rows must not start with the session another run saved.
    std::wstring userDataFolder() const override {
        return folder_ + L"\\session-" + std::to_wstring(GetCurrentProcessId());
    }
    const TextCodec& scriptCodec() const override { return real_.scriptCodec(); }
    const TextCodec& ansiCodec() const override { return real_.ansiCodec(); }
    std::wstring deadlineFolder() const override { return real_.deadlineFolder(); }
    bool createFolder(const std::wstring& path) override { return real_.createFolder(path); }
    bool writeFile(const std::wstring& path, std::string_view bytes) override {
        return real_.writeFile(path, bytes);
    }
    bool fileExists(const std::wstring&) override { return true; }
    std::optional<std::string> readFile(const std::wstring& path) override { return real_.readFile(path); }
    FileRead readFileTelling(const std::wstring& path) override { return real_.readFileTelling(path); }
    std::optional<std::string> readFileFrom(const std::wstring& path, unsigned long long offset,
                                            std::size_t most) override {
        return real_.readFileFrom(path, offset, most);
    }
    std::optional<unsigned long long> fileSize(const std::wstring& path) override {
        return real_.fileSize(path);
    }
    bool replaceFile(const std::wstring& path, std::string_view bytes) override {
        return real_.replaceFile(path, bytes);
    }
    std::optional<std::vector<FolderEntry>> folderEntries(const std::wstring& path) override {
        return real_.folderEntries(path);
    }
    std::vector<MaxInstallation> maxInstallations() override { return {}; }
    std::wstring saveFile(const SaveFileRequest&) override { return {}; }
    bool startProcess(const ProcessLaunch&) override { return true; }
    std::optional<ProcessOutput> runAndRead(const ProcessLaunch&, RunBounds) override {
        return std::nullopt;
    }
    bool startInRenderJob(const ProcessLaunch&) override { return true; }
    bool renderJobRunning() override { return false; }
    // The night's figure follows a pretended render job: what it queues is taken at the next beat.
    bool followable = false;
    std::vector<RenderJobEvent> jobEvents;
    bool followRenderJob() override { return followable; }
    std::vector<RenderJobEvent> takeRenderJobEvents() override { return std::exchange(jobEvents, {}); }
    void stopFollowingRenderJob() override {}
    // The watchdog's look at the renderer: with `listsRenderTree`, every process of the system
    // listed as the real one lists them, this process standing in for the renderer.
    bool listsRenderTree = false;
    std::optional<std::vector<ProcessTime>> renderTreeTimes(unsigned long processId) override {
        if (!listsRenderTree) return std::nullopt;
        const auto listed = ListProcesses();
        if (!listed) return std::nullopt;
        for (const ListedProcess& process : *listed) {
            if (process.id == processId) return std::vector<ProcessTime>{{process.id, process.time, process.bytes}};
        }
        return std::nullopt;
    }
    void showTaskbarProgress(HWND__*, const TaskbarProgress&) override {}
    bool appendFile(const std::wstring& path, std::string_view bytes) override {
        return real_.appendFile(path, bytes);
    }
    bool deleteFile(const std::wstring& path) override { return real_.deleteFile(path); }
    RenderJobEnd endRenderJob() override { return RenderJobEnd::NoneRunning; }
    bool previousInstanceRunning() override { return false; }
    std::vector<std::wstring> openFiles(const OpenFileRequest&) override { return openAnswer; }
    std::wstring browseFolder(const std::wstring&) override { return {}; }
    void showMessage(const std::wstring&, MessageIcon) override {}
    bool ask(const std::wstring&) override { return true; }
    bool onNetwork(const std::wstring&) override { return false; }
    bool sameFile(const std::wstring& a, const std::wstring& b) override { return a == b; }
    bool openInShell(const std::wstring&) override { return true; }
    bool showInExplorer(const std::wstring&) override { return true; }

private:
    std::wstring folder_;
    Win32Platform real_;
};

// The session's save, which a change starts half a second later on the main window's timer, is
// left to the figures that time it (they send the timer's message themselves): fired by the
// loop, it would land in whichever work happens to be timed then, ours or the floor's.
HWND SessionWindow = nullptr;  // the main window of the figures

void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        if (message.message == WM_TIMER && message.hwnd == SessionWindow &&
            message.wParam == mainwindow::IdTimerSession) {
            continue;
        }
        win::DispatchLoopMessage(message);
    }
}

// Until every window of `top` has painted what it must.
void Paint(HWND top) {
    RedrawWindow(top, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump();
}

std::wstring SceneFolder() { return L"E:\\项目\\夜景\\场景"; }
std::wstring SceneName(int i) { return L"镜头" + std::to_wstring(i) + L"_最终.max"; }

std::vector<std::wstring> QuickAddAnswer(int count = Rows) {
    std::vector<std::wstring> answer{SceneFolder()};
    answer.reserve(static_cast<std::size_t>(count) + 1);
    for (int i = 1; i <= count; ++i) answer.push_back(SceneName(i));
    return answer;
}

// The floors' lists: the job table's check boxes, full-row selection, grid lines and its six
// column widths at 96 dpi.
void StyleAsTheJobTable(HWND list) {
    const DWORD extended = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    const int widths[] = {253, 67, 167, 93, 40, 40};
    for (int i = 0; i < 6; ++i) {
        wchar_t caption[] = L"column";
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = widths[i];
        column.pszText = caption;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
}

// The floors' in-place edit: the bare edit box (a sibling of the list) over a cell, holding its
// text, with the focus.
void ShowEditorOver(HWND list, HWND editor, int row, int subItem, const wchar_t* text) {
    RECT cell{LVIR_BOUNDS, subItem, 0, 0};
    SendMessageW(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
    MapWindowPoints(list, GetParent(editor), reinterpret_cast<POINT*>(&cell), 2);
    SetWindowTextW(editor, text);
    SetWindowPos(editor, HWND_TOP, cell.left, cell.top, cell.right - cell.left, cell.bottom - cell.top,
                 SWP_SHOWWINDOW);
    SetFocus(editor);
}

// The floor: a bare report list view, sized and styled as the job table, and a bare edit box that
// a click on a cell shows over the cell with its text, and Enter writes back and hides.
class BareList {
public:
    BareList() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &BareList::Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"RavolenBenchBare";
        RegisterClassW(&windowClass);
        top_ = CreateWindowExW(0, L"RavolenBenchBare", L"bare", WS_OVERLAPPEDWINDOW, 0, 0, 700, 450,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        list_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, 8, 136, 665,
                                186, top_, nullptr, GetModuleHandleW(nullptr), nullptr);
        editor_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_AUTOHSCROLL, 0, 0, 10, 10, top_,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(top_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowSubclass(editor_, &BareList::Editor, 1, reinterpret_cast<DWORD_PTR>(this));
        StyleAsTheJobTable(list_);
        ShowWindow(top_, SW_SHOW);
        Pump();
    }
    ~BareList() { DestroyWindow(top_); }

    HWND top() const { return top_; }
    HWND list() const { return list_; }
    HWND editor() const { return editor_; }

    void setText(int row, int subItem, const std::wstring& text) {
        LVITEMW item{};
        item.iSubItem = subItem;
        item.pszText = const_cast<wchar_t*>(text.c_str());
        SendMessageW(list_, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    }
    void fill() {
        SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
        for (int i = 1; i <= Rows; ++i) {
            const std::wstring scene = SceneFolder() + L"\\" + SceneName(i);
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = i - 1;
            item.pszText = const_cast<wchar_t*>(scene.c_str());
            const auto row = static_cast<int>(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
            setText(row, 1, L"默认");
            setText(row, 2, L"E:\\渲染\\输出");
            setText(row, 3, L"镜头" + std::to_wstring(i) + L"_最终.tga");
            setText(row, 4, L"默认");
            setText(row, 5, L"默认");
        }
        redraw();
    }
    void redraw() {
        SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list_, nullptr, TRUE);
        Paint(top_);
    }
    void clear() { SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0); Pump(); }

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<BareList*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == NM_CLICK) {
            self->edit(reinterpret_cast<NMITEMACTIVATE*>(lParam)->ptAction);
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    void edit(POINT at) {
        LVHITTESTINFO hit{};
        hit.pt = at;
        if (SendMessageW(list_, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)) < 0 ||
            hit.iSubItem < 1) {
            return;
        }
        editRow_ = hit.iItem;
        editColumn_ = hit.iSubItem;
        wchar_t text[260] = {};
        LVITEMW item{};
        item.iSubItem = hit.iSubItem;
        item.pszText = text;
        item.cchTextMax = 260;
        SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(hit.iItem),
                     reinterpret_cast<LPARAM>(&item));
        ShowEditorOver(list_, editor_, hit.iItem, hit.iSubItem, text);
    }
    static LRESULT CALLBACK Editor(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                   DWORD_PTR data) {
        if (message == WM_KEYDOWN && wParam == VK_RETURN) {
            auto* self = reinterpret_cast<BareList*>(data);
            wchar_t text[260] = {};
            GetWindowTextW(edit, text, 260);
            self->setText(self->editRow_, self->editColumn_, text);
            ShowWindow(edit, SW_HIDE);
            SetFocus(self->list_);
            return 0;
        }
        return DefSubclassProc(edit, message, wParam, lParam);
    }

    HWND top_ = nullptr;
    HWND list_ = nullptr;
    HWND editor_ = nullptr;
    int editRow_ = 0, editColumn_ = 0;
};

// The real main window over the bench platform; `beforeCreate` may lay files for it to find.
struct Main {
    BenchPlatform platform;
    MainWindow form{platform};

    explicit Main(std::wstring folder, const std::function<void(BenchPlatform&)>& beforeCreate = nullptr)
        : platform(std::move(folder)) {
        platform.openAnswer = QuickAddAnswer();
        if (beforeCreate) beforeCreate(platform);
        if (form.create() != MainWindow::Startup::Ready) std::exit(2);
        SessionWindow = form.hwnd();
        ShowWindow(form.hwnd(), SW_SHOW);
        Paint(form.hwnd());
    }
    HWND control(const wchar_t* name) const { return form.control(name); }
    void click(const wchar_t* name) {
        SendMessageW(control(name), BM_CLICK, 0, 0);
        Paint(form.hwnd());
    }
    void fill() {
        click(L"clearButton");
        click(L"quickAddButton");
    }
    void type(const wchar_t* box, wchar_t key) {
        const HWND edit = control(box);
        const auto length = static_cast<WPARAM>(GetWindowTextLengthW(edit));
        SendMessageW(edit, EM_SETSEL, length, static_cast<LPARAM>(length));
        SendMessageW(edit, WM_CHAR, key, 1);
        Paint(form.hwnd());
    }
};

Result QuickAdd(Main& main, BareList& bare, int repetitions) {
    const auto [ours, floor] = TimePair(
        repetitions, {[&] { main.click(L"clearButton"); }, [&] { main.click(L"quickAddButton"); }},
        {[&] { bare.clear(); }, [&] { bare.fill(); }});
    return {"quick add of 10,000 files", floor, ours, Goal::Ratio, 1.3, "us"};
}

// `readsCells`: the new text of a cell depends on the old (a name keeps its stem and changes its
// ending), so the floor reads each cell before it writes it, as any program must.
Result Keystroke(Main& main, BareList& bare, const wchar_t* box, const wchar_t* tick, int column,
                 bool readsCells, const char* name, int repetitions) {
    main.fill();
    bare.clear();
    bare.fill();
    main.click(tick);
    // The floor writes the texts ours writes, each row's cell as ours has it after the keystroke
    // and after the one that takes it back: a list view's time a cell depends on the text.
    const auto columnOf = [&] {
        std::vector<std::wstring> cells(Rows);
        for (int row = 0; row < Rows; ++row) {
            wchar_t text[MAX_PATH] = {};
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = MAX_PATH;
            SendMessageW(main.control(L"jobTable"), LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                         reinterpret_cast<LPARAM>(&item));
            cells[static_cast<std::size_t>(row)] = text;
        }
        return cells;
    };
    const std::vector<std::wstring> shorter = columnOf();
    main.type(box, L'x');
    const std::vector<std::wstring> longer = columnOf();
    main.type(box, L'\b');
    for (int row = 0; row < Rows; ++row) bare.setText(row, column, longer[static_cast<std::size_t>(row)]);
    bool grow = false;  // ours types 'x' first, the floor takes one away: every run changes every cell
    const auto [ours, floor] = TimePair(
        repetitions,
        {[&] { grow = !grow; }, [&] { main.type(box, grow ? L'x' : L'\b'); }},
        {nullptr, [&] {
             SendMessageW(bare.list(), WM_SETREDRAW, FALSE, 0);
             const std::vector<std::wstring>& texts = grow ? longer : shorter;
             for (int row = 0; row < Rows; ++row) {
                 if (!readsCells) {
                     bare.setText(row, column, texts[static_cast<std::size_t>(row)]);
                     continue;
                 }
                 wchar_t text[MAX_PATH + 1] = {};
                 LVITEMW item{};
                 item.iSubItem = column;
                 item.pszText = text;
                 item.cchTextMax = MAX_PATH;
                 const auto length = static_cast<std::size_t>(SendMessageW(
                     bare.list(), LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
                 // The ending follows the box: a character more or one less.
                 if (grow) {
                     text[length] = L'x';
                 } else if (length > 0) {
                     text[length - 1] = L'\0';
                 }
                 bare.setText(row, column, text);
             }
             bare.redraw();
         }});
    main.click(tick);
    return {name, floor, ours, Goal::Ratio, 1.5, "us"};
}

// With `savedBefore`, the session has been saved after the rows came, as it is half a second
// after any change: its snapshot has shared the rows' blocks, which "-" then writes.
Result Delete(Main& main, BareList& bare, int repetitions, bool savedBefore) {
    const HWND list = main.control(L"jobTable");
    const auto [ours, floor] = TimePair(
        repetitions,
        {[&] {
             main.fill();
             if (savedBefore) {
                 SendMessageW(main.form.hwnd(), WM_TIMER, mainwindow::IdTimerSession, 0);
                 main.form.sessionWritten();
             }
             for (int row = 1; row < Rows; row += 2) ListView_SetCheckState(list, row, TRUE);
         },
         [&] { main.click(L"removeTickedButton"); }},
        {[&] {
             bare.clear();
             bare.fill();
             for (int row = 1; row < Rows; row += 2) ListView_SetCheckState(bare.list(), row, TRUE);
         },
         [&] {
             SendMessageW(bare.list(), WM_SETREDRAW, FALSE, 0);
             for (int row = Rows - 1; row >= 0; --row) {
                 if (ListView_GetCheckState(bare.list(), row)) ListView_DeleteItem(bare.list(), row);
             }
             bare.redraw();
         }});
    return {savedBefore ? "\"-\" as above, the session saved before"
                        : "\"-\" with every other row of 10,000 ticked",
            floor, ours, Goal::Ratio, 1.5, "us"};
}

// The window thread's share of saving the session: taking the rows and settings; composing and
// writing the files is the writer thread's. Against nothing: the goal is an absolute 50 ms.
Result SessionSave(Main& main, int repetitions) {
    main.fill();
    const auto [ours, floor] = TimePair(
        repetitions,
        {[&] { main.form.sessionWritten(); },
         [&] { SendMessageW(main.form.hwnd(), WM_TIMER, mainwindow::IdTimerSession, 0); }},
        {nullptr, [] {}});
    main.form.sessionWritten();
    return {"session save of 10,000 rows, window thread", floor, ours, Goal::MicrosAbove, 50000, "us"};
}

// One step of a figure alone, for --stages.
double MedianMicros(int repetitions, const std::function<void()>& work) {
    std::vector<double> samples;
    for (int i = 0; i < repetitions; ++i) {
        const Stopwatch watch;
        work();
        samples.push_back(watch.micros());
    }
    return SpreadOf(samples).median;
}

// The phases of an in-place edit, for --stages.
struct EditPhases {
    double click = 0, type = 0, enter = 0, paint = 0;
    static inline int current = 0;  // which of them runs, for the paint count
};

// Each phase's mean, ours beside the floor's.
void PrintPhases(const EditPhases& ours, const EditPhases& floor, int repetitions) {
    const auto phase = [&](const char* name, double EditPhases::*which) {
        std::printf("  %-40s %9.0f / %.0f us\n", name, ours.*which / repetitions, floor.*which / repetitions);
    };
    phase("click: the box shown over the cell", &EditPhases::click);
    phase("a character typed", &EditPhases::type);
    phase("Enter: the cell written, the box hidden", &EditPhases::enter);
    phase("painted", &EditPhases::paint);
}

// The same input on either list: a click on the camera cell of `target` (the last of 10,000 unless
// told), a typed character, Enter; then until everything has painted.
void EditCell(HWND view, HWND top, int round, EditPhases* phases = nullptr, int target = Rows - 1) {
    Stopwatch watch;
    const auto lap = [&](double EditPhases::*phase) {
        if (phases) phases->*phase += watch.micros();
        ++EditPhases::current;
        watch = Stopwatch();
    };
    EditPhases::current = 0;
    const auto header = reinterpret_cast<HWND>(SendMessageW(view, LVM_GETHEADER, 0, 0));
    RECT column{}, row{LVIR_BOUNDS, 0, 0, 0};
    SendMessageW(header, HDM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&column));
    SendMessageW(view, LVM_GETITEMRECT, static_cast<WPARAM>(target), reinterpret_cast<LPARAM>(&row));
    const LPARAM at = MAKELPARAM((column.left + column.right) / 2, (row.top + row.bottom) / 2);
    PostMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(view, WM_LBUTTONUP, 0, at);
    Pump();
    lap(&EditPhases::click);
    SendMessageW(GetFocus(), WM_CHAR, static_cast<WPARAM>(L'0' + round % 10), 1);
    lap(&EditPhases::type);
    MSG enter{GetFocus(), WM_KEYDOWN, VK_RETURN, 1, 0, {}};
    win::DispatchLoopMessage(enter);
    // As a message loop goes on: the character the key posts is handled before anything paints.
    Pump();
    lap(&EditPhases::enter);
    Paint(top);
    lap(&EditPhases::paint);
}

// The same after a keystroke in the unified folder box while it is ticked, which rewrites every
// row's folder.
Result SessionSaveAfterAnEdit(Main& main, int repetitions) {
    main.fill();
    main.click(L"unifiedFolderCheck");
    bool grow = true;
    const auto [ours, floor] = TimePair(
        repetitions,
        {[&] {
             main.form.sessionWritten();
             grow = !grow;
             main.type(L"unifiedFolderBox", grow ? L'x' : L'\b');
         },
         [&] { SendMessageW(main.form.hwnd(), WM_TIMER, mainwindow::IdTimerSession, 0); }},
        {nullptr, [] {}});
    main.form.sessionWritten();
    main.click(L"unifiedFolderCheck");
    return {"session save after a unified folder keystroke, window thread", floor, ours, Goal::MicrosAbove,
            50000, "us"};
}

// Both lists filled and scrolled to their last row.
void PrepareEdit(Main& main, BareList& bare) {
    main.fill();
    bare.clear();
    bare.fill();
    ListView_EnsureVisible(main.control(L"jobTable"), Rows - 1, FALSE);
    Paint(main.form.hwnd());
    ListView_EnsureVisible(bare.list(), Rows - 1, FALSE);
    Paint(bare.top());
}

Result CellEdit(Main& main, BareList& bare, int repetitions) {
    PrepareEdit(main, bare);
    const HWND list = main.control(L"jobTable");
    int round = 0;
    const auto [ours, floor] = TimePair(
        repetitions, {[&] { ++round; }, [&] { EditCell(list, main.form.hwnd(), round); }},
        {[&] { ++round; }, [&] { EditCell(bare.list(), bare.top(), round); }});
    return {"in-place edit of row 10,000 of 10,000", floor, ours, Goal::Ratio, 1.3, "us"};
}

// The paint messages windows of this thread receive, by the window's class, while counting.
struct PaintCount {
    static inline std::map<std::wstring, int>* counts = nullptr;

    static void Note(HWND hwnd, UINT message) {
        if (!counts || (message != WM_PAINT && message != WM_ERASEBKGND && message != WM_NCPAINT)) return;
        wchar_t name[64] = {};
        GetClassNameW(hwnd, name, 64);
        static const wchar_t* const phases[] = {L"click: ", L"type: ", L"enter: ", L"paint: ", L""};
        ++(*counts)[phases[std::min(EditPhases::current, 4)] + std::wstring(name) + L" " +
                    std::to_wstring(GetDlgCtrlID(hwnd)) + (message == WM_PAINT ? L" WM_PAINT" : message == WM_ERASEBKGND
                                                                                  ? L" WM_ERASEBKGND"
                                                                                  : L" WM_NCPAINT")];
    }
    static LRESULT CALLBACK Sent(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HC_ACTION) {
            const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
            Note(message->hwnd, message->message);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static LRESULT CALLBACK Taken(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HC_ACTION && wParam == PM_REMOVE) {
            const auto* message = reinterpret_cast<const MSG*>(lParam);
            Note(message->hwnd, message->message);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
};

void EditStages(const std::wstring& folder, int repetitions) {
    Main main(folder);
    BareList bare;
    PrepareEdit(main, bare);
    EditPhases ours, floor;
    std::map<std::wstring, int> oursPaints, floorPaints;
    for (int round = 0; round < repetitions; ++round) {
        EditCell(bare.list(), bare.top(), round, &floor);
        EditCell(main.control(L"jobTable"), main.form.hwnd(), round, &ours);
    }
    // Counted apart: the hooks slow every message down.
    const HHOOK sent = SetWindowsHookExW(WH_CALLWNDPROC, &PaintCount::Sent, nullptr, GetCurrentThreadId());
    const HHOOK taken = SetWindowsHookExW(WH_GETMESSAGE, &PaintCount::Taken, nullptr, GetCurrentThreadId());
    for (int round = 0; round < repetitions; ++round) {
        PaintCount::counts = &floorPaints;
        EditCell(bare.list(), bare.top(), round);
        PaintCount::counts = &oursPaints;
        EditCell(main.control(L"jobTable"), main.form.hwnd(), round);
        PaintCount::counts = nullptr;
    }
    UnhookWindowsHookEx(sent);
    UnhookWindowsHookEx(taken);
    std::printf("in-place edit of row 10,000 (mean of %d, ours / floor):\n", repetitions);
    PrintPhases(ours, floor, repetitions);
    // What lies under the box, repainted as when the box hides: the window, the table and, on
    // ours, the frame around the table.
    const auto underBox = [&](HWND box) {
        RECT rect{};
        GetWindowRect(box, &rect);
        MapWindowPoints(nullptr, GetParent(box), reinterpret_cast<POINT*>(&rect), 2);
        return MedianMicros(repetitions, [&] {
            RedrawWindow(GetParent(box), &rect, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        });
    };
    const HWND box = main.control(L"cellEditor");
    std::printf("  %-40s %9.0f / %.0f us (median)\n", "what lies under the box repainted",
                underBox(box), underBox(bare.editor()));
    std::printf("  paint messages an edit, ours / floor:\n");
    std::map<std::wstring, std::pair<int, int>> paints;
    for (const auto& [name, count] : oursPaints) paints[name].first = count;
    for (const auto& [name, count] : floorPaints) paints[name].second = count;
    for (const auto& [name, count] : paints) {
        char narrow[96] = {};
        WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, narrow, sizeof narrow, nullptr, nullptr);
        std::printf("    %-38s %5.1f / %.1f\n", narrow, static_cast<double>(count.first) / repetitions,
                    static_cast<double>(count.second) / repetitions);
    }
}

// The floor of the results dialog: the same three columns read from the job table, the same
// output folders listed, a bare list view filled with the same texts.
void BareResults(HWND jobTable, BareList& bare) {
    const auto count = static_cast<int>(SendMessageW(jobTable, LVM_GETITEMCOUNT, 0, 0));
    std::vector<std::wstring> cells(static_cast<std::size_t>(count) * 3);
    for (int row = 0; row < count; ++row) {
        const int columns[] = {0, 2, 3};  // scene, output folder, output name
        for (int k = 0; k < 3; ++k) {
            wchar_t text[520] = {};
            LVITEMW item{};
            item.iSubItem = columns[k];
            item.pszText = text;
            item.cchTextMax = 520;
            SendMessageW(jobTable, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                         reinterpret_cast<LPARAM>(&item));
            cells[static_cast<std::size_t>(row) * 3 + static_cast<std::size_t>(k)] = text;
        }
    }
    std::wstring listed;  // every row writes into the same folder: it is read once
    for (int row = 0; row < count; ++row) {
        const std::wstring& folder = cells[static_cast<std::size_t>(row) * 3 + 1];
        if (folder == listed) continue;
        listed = folder;
        WIN32_FIND_DATAW found{};
        const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) continue;
        while (FindNextFileW(search, &found)) {
        }
        FindClose(search);
    }
    const HWND list = bare.list();
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    for (int row = 0; row < count; ++row) {
        const std::wstring* cell = &cells[static_cast<std::size_t>(row) * 3];
        const std::wstring output = cell[1] + L"\\" + cell[2];
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(cell[0].c_str());
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        bare.setText(row, 1, output);
        bare.setText(row, 2, L"未完成");
    }
    bare.redraw();
}

Result ResultsDialogOpen(Main& main, BareList& bare, int repetitions) {
    main.fill();
    const UINT IdMenuResults = win::MenuCommand(GetMenu(main.form.hwnd()), L"渲染结果(V)…");
    const auto [ours, floor] = TimePair(
        repetitions,
        {[&] {
             if (ResultsDialog* results = main.form.resultsDialog()) {
                 SendMessageW(results->hwnd(), WM_CLOSE, 0, 0);
             }
             Pump();
         },
         [&] {
             SendMessageW(main.form.hwnd(), WM_COMMAND, MAKEWPARAM(IdMenuResults, 0), 0);
             Paint(main.form.resultsDialog()->hwnd());
         }},
        {[&] { bare.clear(); }, [&] { BareResults(main.control(L"jobTable"), bare); }});
    return {"results dialog opened over 10,000 rows", floor, ours, Goal::Ratio, 1.3, "us"};
}

// One beat of the night's timer while row 1 of 10,000 renders and the results dialog shows them:
// the row's time and the summary change. The floor refills a bare list view with the same texts.
Result LiveResults(Main& main, BareList& bare, int repetitions) {
    main.fill();
    LocalTime now{2026, 12, 7, 23, 0, 0};
    main.form.clock = [&now] { return now; };
    main.platform.followable = true;
    SendMessageW(main.control(L"renderButton"), BM_CLICK, 0, 0);
    Pump();
    main.platform.jobEvents.push_back({RenderJobEvent::Kind::Started, 1,
                                       L"D:\\Program Files\\Autodesk\\3ds Max 2012\\3dsmaxcmd.exe",
                                       L"", false, 0, now});
    const UINT IdMenuResults = win::MenuCommand(GetMenu(main.form.hwnd()), L"渲染结果(V)…");
    SendMessageW(main.form.hwnd(), WM_COMMAND, MAKEWPARAM(IdMenuResults, 0), 0);
    ResultsDialog* results = main.form.resultsDialog();
    if (!results) std::exit(3);
    SendMessageW(main.form.hwnd(), WM_TIMER, mainwindow::IdTimerNight, 0);  // row 1 starts
    Paint(results->hwnd());
    const HWND list = results->control(L"List");
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    std::vector<std::wstring> texts(static_cast<std::size_t>(count) * 5);
    const auto readTexts = [&] {
        for (int row = 0; row < count; ++row) {
            for (int column = 0; column < 5; ++column) {
                wchar_t text[520] = {};
                LVITEMW item{};
                item.iSubItem = column;
                item.pszText = text;
                item.cchTextMax = 520;
                SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                             reinterpret_cast<LPARAM>(&item));
                texts[static_cast<std::size_t>(row) * 5 + static_cast<std::size_t>(column)] = text;
            }
        }
    };
    const auto [ours, floor] = TimePair(
        repetitions,
        {[&] { now.second = (now.second + 1) % 60; },
         [&] {
             SendMessageW(main.form.hwnd(), WM_TIMER, mainwindow::IdTimerNight, 0);
             Paint(results->hwnd());
         }},
        {[&] { readTexts(); },
         [&] {
             const HWND bareList = bare.list();
             SendMessageW(bareList, WM_SETREDRAW, FALSE, 0);
             SendMessageW(bareList, LVM_DELETEALLITEMS, 0, 0);
             for (int row = 0; row < count; ++row) {
                 const std::wstring* cell = &texts[static_cast<std::size_t>(row) * 5];
                 LVITEMW item{};
                 item.mask = LVIF_TEXT;
                 item.iItem = row;
                 item.pszText = const_cast<wchar_t*>(cell[0].c_str());
                 SendMessageW(bareList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
                 for (int column = 1; column < 5; ++column) bare.setText(row, column, cell[column]);
             }
             bare.redraw();
         }});
    main.form.clock = LocalTimeNow;
    return {"live results refresh over 10,000 rows, window thread", floor, ours, Goal::Ratio, 1.0,
            "us"};
}

std::vector<RenderJob> ScriptRowsOf(int count) {
    std::vector<RenderJob> rows;
    for (int i = 1; i <= count; ++i) {
        rows.push_back({SceneFolder() + L"\\" + SceneName(i), i % 3 ? L"默认" : L"Camera01",
                        L"E:\\渲染\\输出", L"镜头" + std::to_wstring(i) + L".tga",
                        i % 2 ? L"默认" : L"1920", i % 2 ? L"默认" : L"1080"});
    }
    return rows;
}

// The job list of the file figures.
std::vector<RenderJob> JobListRows(int count = Rows) {
    std::vector<RenderJob> rows;
    for (int i = 1; i <= count; ++i) {
        rows.push_back({SceneFolder() + L"\\" + SceneName(i), i % 3 ? L"默认" : L"0012", L"E:\\渲染\\输出",
                        L"镜头" + std::to_wstring(i) + L".1.tga", i % 2 ? L"默认" : L"1920",
                        i % 2 ? L"默认" : L"1080"});
    }
    return rows;
}

Result Script(const std::wstring& folder, int repetitions) {
    BenchPlatform platform(folder);
    const RenderRequest request{L"D:\\Program Files\\Autodesk\\3ds Max 2012", ScriptRowsOf(ScriptRows), true};
    // The floor converts the script's own text, as composed, with one call.
    const std::string composed =
        ComposeRenderScript(request.installFolder, request.rows, true, platform.scriptCodec()).bytes;
    std::wstring text(composed.size(), L'\0');
    text.resize(static_cast<std::size_t>(MultiByteToWideChar(
        CP_OEMCP, 0, composed.data(), static_cast<int>(composed.size()), text.data(),
        static_cast<int>(text.size()))));
    const std::wstring floorPath = folder + L"\\floor.bat";
    const auto [ours, floor] = TimePair(
        repetitions, {nullptr, [&] { StartRender(platform, request); }},
        {nullptr, [&] {
             // As ours, a buffer of its own each time, written once.
             const std::unique_ptr<char[]> bytes(new char[text.size() * 2]);
             const int size = WideCharToMultiByte(CP_OEMCP, 0, text.data(), static_cast<int>(text.size()),
                                                  bytes.get(), static_cast<int>(text.size() * 2), nullptr,
                                                  nullptr);
             const FileHandle file(CreateFileW(floorPath.c_str(), GENERIC_WRITE, 0, nullptr,
                                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
             DWORD written = 0;
             WriteFile(file.get(), bytes.get(), static_cast<DWORD>(size), &written, nullptr);
         }});
    DeleteFileW(floorPath.c_str());
    return {"render script of 100,000 rows", floor, ours, Goal::Ratio, 1.5, "us"};
}

// The file formats alone, through the real files: a job list of 10,000 rows saved and opened
// again as a workbook, beside the same rows as CSV.
Result JobListFiles(const std::wstring& folder, int repetitions) {
    Win32Platform platform;
    const std::vector<RenderJob> rows = JobListRows();
    const auto roundTrip = [&](const std::wstring& path, auto save, auto open) {
        return [&rows, &platform, path, save, open] {
            platform.replaceFile(path, save(rows));
            const auto opened = open(*platform.readFile(path));
            if (!std::holds_alternative<std::vector<RenderJob>>(opened)) std::abort();
        };
    };
    const std::wstring workbook = folder + L"\\jobs.xlsx", csv = folder + L"\\jobs.csv";
    const auto [ours, floor] = TimePair(
        repetitions, {nullptr, roundTrip(workbook, SaveJobWorkbook, OpenJobWorkbook)},
        {nullptr, roundTrip(csv, SaveJobList, OpenJobList)});
    DeleteFileW(workbook.c_str());
    DeleteFileW(csv.c_str());
    return {"job list of 10,000 rows saved and opened: xlsx", floor, ours, Goal::Ratio, 4.0, "us"};
}

// ---- At scale: the table at 1,000 and 100,000 rows, beside a bare owner-data list view over a
// plain vector of rows doing the same visible work.

constexpr int FewRows = 1000;
constexpr int ManyRows = 100000;

// A row of the floor: its six texts and its tick, nothing else.
struct BareRow {
    std::array<std::wstring, 6> cells;
    bool ticked = false;
};

// An owner-data list's question answered from the vector.
void GiveBareRow(const std::vector<BareRow>& rows, LVITEMW& item) {
    if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= rows.size()) return;
    const BareRow& row = rows[static_cast<std::size_t>(item.iItem)];
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0 && item.iSubItem >= 0 &&
        item.iSubItem < 6) {
        lstrcpynW(item.pszText, row.cells[static_cast<std::size_t>(item.iSubItem)].c_str(), item.cchTextMax);
    }
    if ((item.mask & LVIF_STATE) && (item.stateMask & LVIS_STATEIMAGEMASK)) {
        item.state = (item.state & ~static_cast<UINT>(LVIS_STATEIMAGEMASK)) |
                     INDEXTOSTATEIMAGEMASK(row.ticked ? 2 : 1);
    }
}

// The floor at scale: the bare window's list made owner-data (LVS_OWNERDATA, its boxes asked for
// too) and single-selection as the job table, over a plain vector of rows. A click on a box flips the row's tick and redraws the row; a
// click on a cell shows a bare edit box over it with the vector's text, and Enter writes the
// vector, hides the box and redraws the row.
class BareRows {
public:
    BareRows() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &BareRows::Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"RavolenBenchBareRows";
        RegisterClassW(&windowClass);
        top_ = CreateWindowExW(0, L"RavolenBenchBareRows", L"bare rows", WS_OVERLAPPEDWINDOW, 0, 0, 700,
                               450, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(top_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        list_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL | LVS_OWNERDATA,
                                8, 136, 665, 186, top_, nullptr, GetModuleHandleW(nullptr), nullptr);
        editor_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_AUTOHSCROLL, 0, 0, 10, 10, top_,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
        SetWindowSubclass(editor_, &BareRows::Editor, 1, reinterpret_cast<DWORD_PTR>(this));
        StyleAsTheJobTable(list_);
        SendMessageW(list_, LVM_SETCALLBACKMASK, LVIS_STATEIMAGEMASK, 0);
        ShowWindow(top_, SW_SHOW);
        Pump();
    }
    ~BareRows() { DestroyWindow(top_); }
    BareRows(const BareRows&) = delete;
    BareRows& operator=(const BareRows&) = delete;

    HWND top() const { return top_; }
    HWND list() const { return list_; }

    std::vector<BareRow> rows;

    // The list told how many rows there are now, and repainted.
    void shown() {
        SendMessageW(list_, LVM_SETITEMCOUNT, rows.size(), LVSICF_NOSCROLL);
        InvalidateRect(list_, nullptr, FALSE);
        Paint(top_);
    }
    // As the job table after rows came: the last one selected and in view.
    void selectLast() {
        ListView_SetItemState(list_, -1, 0, LVIS_SELECTED);
        if (rows.empty()) return;
        select(static_cast<int>(rows.size()) - 1);
        ListView_EnsureVisible(list_, selected, FALSE);
    }
    // The selected row, kept here as a bare program keeps it.
    int selected = -1;
    void select(int row) {
        selected = row;
        ListView_SetItemState(list_, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<BareRows*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && message == WM_NOTIFY) {
            auto& header = *reinterpret_cast<NMHDR*>(lParam);
            if (header.code == LVN_GETDISPINFOW) {
                GiveBareRow(self->rows, reinterpret_cast<NMLVDISPINFOW&>(header).item);
                return 0;
            }
            if (header.code == NM_CLICK) self->click(reinterpret_cast<NMITEMACTIVATE&>(header).ptAction);
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    void click(POINT at) {
        LVHITTESTINFO hit{};
        hit.pt = at;
        const auto row = static_cast<int>(SendMessageW(list_, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        if (row < 0 || static_cast<std::size_t>(row) >= rows.size()) return;
        selected = row;
        if ((hit.flags & LVHT_ONITEM) == LVHT_ONITEMSTATEICON) {
            rows[static_cast<std::size_t>(row)].ticked = !rows[static_cast<std::size_t>(row)].ticked;
            SendMessageW(list_, LVM_REDRAWITEMS, static_cast<WPARAM>(row), row);
            return;
        }
        LVHITTESTINFO cellHit{};
        cellHit.pt = at;
        if (SendMessageW(list_, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&cellHit)) < 0 ||
            cellHit.iSubItem < 1) {
            return;
        }
        editRow_ = cellHit.iItem;
        editColumn_ = cellHit.iSubItem;
        ShowEditorOver(list_, editor_, editRow_, editColumn_,
                       rows[static_cast<std::size_t>(editRow_)].cells[static_cast<std::size_t>(editColumn_)].c_str());
    }
    static LRESULT CALLBACK Editor(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                   DWORD_PTR data) {
        if (message == WM_KEYDOWN && wParam == VK_RETURN) {
            auto* self = reinterpret_cast<BareRows*>(data);
            wchar_t text[260] = {};
            GetWindowTextW(edit, text, 260);
            self->rows[static_cast<std::size_t>(self->editRow_)].cells[static_cast<std::size_t>(self->editColumn_)] = text;
            ShowWindow(edit, SW_HIDE);
            SetFocus(self->list_);
            SendMessageW(self->list_, LVM_REDRAWITEMS, static_cast<WPARAM>(self->editRow_), self->editRow_);
            return 0;
        }
        return DefSubclassProc(edit, message, wParam, lParam);
    }

    HWND top_ = nullptr;
    HWND list_ = nullptr;
    HWND editor_ = nullptr;
    int editRow_ = 0, editColumn_ = 0;
};

std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// Both tables holding `count` rows from quick add, the floor's with the texts ours shows, both
// scrolled to their last row.
void FillBoth(Main& main, BareRows& bare, int count) {
    main.platform.openAnswer = QuickAddAnswer(count);
    main.fill();
    const JobRows& rows = main.form.jobs().shown();
    bare.rows.assign(static_cast<std::size_t>(count), {});
    for (std::size_t row = 0; row < bare.rows.size(); ++row) {
        for (int column = 1; column <= 6; ++column) {
            bare.rows[row].cells[static_cast<std::size_t>(column - 1)] = rows.cell(row, column);
        }
    }
    bare.shown();
    bare.selectLast();
    ListView_EnsureVisible(main.control(L"jobTable"), count - 1, FALSE);
    Paint(main.form.hwnd());
    Paint(bare.top());
}

// Where a click lands on row `row`'s box, as the list itself answers a hit test.
LPARAM BoxPoint(HWND view, int row) {
    RECT bounds{LVIR_BOUNDS, 0, 0, 0};
    SendMessageW(view, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&bounds));
    const int y = (bounds.top + bounds.bottom) / 2;
    int first = -1, last = -1;
    for (int x = std::max<int>(bounds.left, 0); x < bounds.left + 80; ++x) {
        LVHITTESTINFO hit{};
        hit.pt = {x, y};
        if (SendMessageW(view, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)) == row &&
            (hit.flags & LVHT_ONITEM) == LVHT_ONITEMSTATEICON) {
            if (first < 0) first = x;
            last = x;
        }
    }
    if (first < 0) std::exit(4);
    return MAKELPARAM((first + last) / 2, y);
}

// A click on a box, then until everything has painted.
void ClickBox(HWND view, HWND top, LPARAM at) {
    PostMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(view, WM_LBUTTONUP, 0, at);
    Pump();
    Paint(top);
}

// The four figures of what one action shows, at one row count: ours and the floor.
struct FrameFigures {
    std::pair<Spread, Spread> keystroke, tick, edit, undo;
};

FrameFigures Frames(Main& main, BareRows& bare, int count, int repetitions) {
    FrameFigures figures;
    const HWND table = main.control(L"jobTable");
    const HWND top = main.form.hwnd();
    FillBoth(main, bare, count);
    const int last = count - 1;

    // The camera cell of the last row edited in place and written with Enter.
    int round = 0;
    figures.edit = TimePair(repetitions, {[&] { ++round; }, [&] { EditCell(table, top, round, nullptr, last); }},
                            {[&] { ++round; }, [&] { EditCell(bare.list(), bare.top(), round, nullptr, last); }});

    // A tick of the last row by a click on its box.
    const LPARAM oursBox = BoxPoint(table, last), floorBox = BoxPoint(bare.list(), last);
    figures.tick = TimePair(repetitions, {nullptr, [&] { ClickBox(table, top, oursBox); }},
                            {nullptr, [&] { ClickBox(bare.list(), bare.top(), floorBox); }});

    // 撤销 of a "-" that took the middle row, the only one ticked, in view.
    JobRows& rows = main.form.jobs().rows();
    rows.setTicks(std::vector<bool>(static_cast<std::size_t>(count), false));
    const int middle = count / 2;
    rows.setTicked(static_cast<std::size_t>(middle), true);
    for (BareRow& row : bare.rows) row.ticked = false;
    bare.rows[static_cast<std::size_t>(middle)].ticked = true;
    ListView_EnsureVisible(table, middle, FALSE);
    ListView_EnsureVisible(bare.list(), middle, FALSE);
    bare.shown();
    Paint(top);
    std::vector<std::pair<std::size_t, BareRow>> taken;
    figures.undo = TimePair(
        repetitions,
        {[&] { main.click(L"removeTickedButton"); },
         [&] {
             SendMessageW(top, WM_COMMAND, MAKEWPARAM(mainwindow::IdMenuUndo, 0), 0);
             Paint(top);
         }},
        {[&] {
             // "-" on the floor: the ticked rows out of the vector, kept with their places.
             taken.clear();
             std::size_t kept = 0;
             for (std::size_t row = 0; row < bare.rows.size(); ++row) {
                 if (bare.rows[row].ticked) {
                     taken.emplace_back(row, std::move(bare.rows[row]));
                 } else {
                     bare.rows[kept++] = std::move(bare.rows[row]);
                 }
             }
             bare.rows.resize(kept);
             int selected = bare.selected;
             for (const auto& out : taken) selected -= static_cast<int>(out.first) < bare.selected;
             bare.select(selected);
             bare.shown();
         },
         [&] {
             // The selection stays on its row, which the floor knows without asking the list.
             int selected = bare.selected;
             for (auto& [position, row] : taken) {
                 bare.rows.insert(bare.rows.begin() + static_cast<std::ptrdiff_t>(position), std::move(row));
                 if (static_cast<int>(position) <= selected) ++selected;
             }
             bare.select(selected);
             bare.shown();
         }});
    main.form.jobs().rows().setTicked(static_cast<std::size_t>(middle), false);

    // A keystroke in the unified folder box while it is ticked: every row's folder follows.
    main.click(L"unifiedFolderCheck");
    std::wstring folder = TextOf(main.control(L"unifiedFolderBox"));
    for (BareRow& row : bare.rows) row.cells[2] = folder;
    bare.shown();
    bool oursGrow = false, floorGrow = false;  // 'x' first, then one taken away: every run changes every row
    figures.keystroke = TimePair(
        repetitions,
        {[&] { oursGrow = !oursGrow; }, [&] { main.type(L"unifiedFolderBox", oursGrow ? L'x' : L'\b'); }},
        {[&] { floorGrow = !floorGrow; },
         [&] {
             if (floorGrow) {
                 folder.push_back(L'x');
             } else {
                 folder.pop_back();
             }
             for (BareRow& row : bare.rows) row.cells[2] = folder;
             InvalidateRect(bare.list(), nullptr, FALSE);
             Paint(bare.top());
         }});
    if (oursGrow) main.type(L"unifiedFolderBox", L'\b');
    main.click(L"unifiedFolderCheck");
    return figures;
}

// The job table's own rows as quick add makes them from the answer, for the floor.
BareRow QuickRow(const std::vector<std::wstring>& answer, std::size_t index, const std::wstring& folder,
                 const std::wstring& format) {
    const std::wstring& name = answer[index + 1];
    BareRow row;
    row.cells = {answer[0] + L"\\" + name, L"默认", folder, name.substr(0, name.size() - 4) + format, L"默认",
                 L"默认"};
    return row;
}

Result ScaleQuickAdd(Main& main, BareRows& bare, int repetitions) {
    main.platform.openAnswer = QuickAddAnswer(ManyRows);
    const std::vector<std::wstring>& answer = main.platform.openAnswer;
    const std::wstring folder = TextOf(main.control(L"unifiedFolderBox"));
    const std::wstring format = TextOf(main.control(L"unifiedFormatBox"));
    const auto [ours, floor] = TimePair(
        repetitions, {[&] { main.click(L"clearButton"); }, [&] { main.click(L"quickAddButton"); }},
        {[&] {
             bare.rows.clear();
             bare.rows.shrink_to_fit();
             bare.shown();
         },
         [&] {
             bare.rows.reserve(answer.size() - 1);
             for (std::size_t i = 0; i + 1 < answer.size(); ++i) bare.rows.push_back(QuickRow(answer, i, folder, format));
             bare.selectLast();
             bare.shown();
         }});
    return {"quick add of 100,000 files", floor, ours, Goal::AtMost, 1e6, "us"};
}

Result ScaleDelete(Main& main, BareRows& bare, int repetitions) {
    FillBoth(main, bare, ManyRows);
    const std::vector<BareRow> full = bare.rows;
    std::vector<bool> everyOther(ManyRows);
    for (std::size_t row = 1; row < everyOther.size(); row += 2) everyOther[row] = true;
    std::vector<std::pair<std::size_t, BareRow>> taken;
    const auto [ours, floor] = TimePair(
        repetitions,
        {[&] {
             main.fill();
             // Filling cleared the table, whose rows 撤销 would put back; a "-" and 撤销 of one
             // row leave no step, as the floor has none, so the "-" timed does not free them.
             main.form.jobs().rows().setTicked(0, true);
             main.click(L"removeTickedButton");
             SendMessageW(main.form.hwnd(), WM_COMMAND, MAKEWPARAM(mainwindow::IdMenuUndo, 0), 0);
             main.form.jobs().rows().setTicks(everyOther);
             Paint(main.form.hwnd());
         },
         [&] { main.click(L"removeTickedButton"); }},
        {[&] {
             taken.clear();
             bare.rows = full;
             for (std::size_t row = 1; row < bare.rows.size(); row += 2) bare.rows[row].ticked = true;
             bare.shown();
         },
         [&] {
             // The ticked rows out of the vector and kept for 撤销 with their places, as ours.
             std::size_t kept = 0;
             for (std::size_t row = 0; row < bare.rows.size(); ++row) {
                 if (bare.rows[row].ticked) {
                     taken.emplace_back(row, std::move(bare.rows[row]));
                 } else {
                     bare.rows[kept++] = std::move(bare.rows[row]);
                 }
             }
             bare.rows.resize(kept);
             bare.shown();
         }});
    return {"\"-\" with every other row of 100,000 ticked", floor, ours, Goal::Ratio, 1.5, "us"};
}

// The floor's job list file: the same rows as UTF-8 lines of comma-separated cells (none holds a
// comma), read whole, converted once and split.
void BareOpen(const std::wstring& path, BareRows& bare) {
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    GetFileSizeEx(file.get(), &size);
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    std::wstring text(bytes.size(), L'\0');
    text.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(read),
                                                             text.data(), static_cast<int>(text.size()))));
    std::size_t at = 0;
    while (at < text.size()) {
        BareRow row;
        for (std::size_t cell = 0; cell < 6; ++cell) {
            const std::size_t end = text.find_first_of(cell < 5 ? L"," : L"\r\n", at);
            row.cells[cell].assign(text, at, end - at);
            at = end + 1;
        }
        ++at;  // the line feed
        bare.rows.push_back(std::move(row));
    }
    bare.selectLast();
    bare.shown();
}

Result ScaleOpenWorkbook(Main& main, BareRows& bare, const std::wstring& folder, int repetitions) {
    const std::vector<RenderJob> jobs = JobListRows(ManyRows);
    const std::wstring workbook = folder + L"\\scale.xlsx", csv = folder + L"\\scale.csv";
    Win32Platform files;
    files.replaceFile(workbook, SaveJobWorkbook(jobs));
    std::wstring lines;
    for (const RenderJob& job : jobs) {
        lines += job.scene + L"," + job.camera + L"," + job.outputFolder + L"," + job.outputName + L"," +
                 job.width + L"," + job.height + L"\r\n";
    }
    std::string bytes(lines.size() * 3, '\0');
    bytes.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, lines.data(), static_cast<int>(lines.size()),
                                                              bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr)));
    files.replaceFile(csv, bytes);
    main.platform.openAnswer = {workbook};
    const auto [ours, floor] = TimePair(
        repetitions,
        {[&] { main.click(L"clearButton"); },
         [&] {
             SendMessageW(main.form.hwnd(), WM_COMMAND, MAKEWPARAM(mainwindow::IdMenuOpen, 0), 0);
             Paint(main.form.hwnd());
         }},
        {[&] {
             bare.rows.clear();
             bare.rows.shrink_to_fit();
             bare.shown();
         },
         [&] { BareOpen(csv, bare); }});
    // Both must have opened every row, or the figure says nothing.
    if (main.form.jobs().count() != ManyRows || bare.rows.size() != static_cast<std::size_t>(ManyRows)) std::exit(5);
    DeleteFileW(workbook.c_str());
    DeleteFileW(csv.c_str());
    return {"job list workbook of 100,000 rows opened", floor, ours, Goal::AtMost, 1.5e6, "us"};
}

std::vector<Result> Scale(const std::wstring& folder, int repetitions) {
    std::vector<Result> results;
    Main main(folder);
    BareRows bare;
    // A round untimed first: the first edits, clicks and paints of a window cost more than later
    // ones, and Wine's own processes are still starting when this group runs first; that would
    // be 1,000 rows' alone.
    Frames(main, bare, FewRows, repetitions);
    const FrameFigures few = Frames(main, bare, FewRows, repetitions);
    const FrameFigures many = Frames(main, bare, ManyRows, repetitions);
    const auto frame = [&](const std::string& name, std::pair<Spread, Spread> FrameFigures::*figure) {
        const auto& [fewOurs, fewFloor] = few.*figure;
        const auto& [manyOurs, manyFloor] = many.*figure;
        results.push_back({name + ", 1,000 rows", fewFloor, fewOurs, Goal::Ratio, 1.5, "us"});
        results.push_back({name + ", 100,000 rows", manyFloor, manyOurs, Goal::Ratio, 1.5, "us"});
        results.push_back({name + ", ours at 1,000 / at 100,000", fewOurs, manyOurs, Goal::WithinSpread, 0, "us"});
    };
    frame("keystroke, unified folder ticked", &FrameFigures::keystroke);
    frame("tick by a click on the box", &FrameFigures::tick);
    frame("in-place edit of the last row, Enter", &FrameFigures::edit);
    frame("撤销 of a \"-\" of the middle row", &FrameFigures::undo);
    results.push_back(ScaleQuickAdd(main, bare, repetitions));
    results.push_back(ScaleDelete(main, bare, repetitions));
    results.push_back(ScaleOpenWorkbook(main, bare, folder, repetitions));
    return results;
}

// ---- Where the time of a figure goes (--stages): each step timed alone, many times, medians.

void Stage(const char* name, double micros) { std::printf("  %-62s %9.0f us\n", name, micros); }

void ScriptStages(const std::wstring& folder, int repetitions) {
    BenchPlatform platform(folder);
    const std::wstring install = L"D:\\Program Files\\Autodesk\\3ds Max 2012";
    const std::vector<RenderJob> rows = ScriptRowsOf(ScriptRows);
    const TextCodec& codec = platform.scriptCodec();
    const std::string bytes = ComposeRenderScript(install, rows, true, codec).bytes;
    std::wstring text(bytes.size(), L'\0');
    text.resize(static_cast<std::size_t>(MultiByteToWideChar(
        CP_OEMCP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), static_cast<int>(text.size()))));
    std::printf("render script of 100,000 rows (%zu characters, %zu bytes):\n", text.size(), bytes.size());
    Stage("ours: composed, checked and converted (ComposeRenderScript)",
          MedianMicros(repetitions, [&] { ComposeRenderScript(install, rows, true, codec); }));
    Stage("  its converting alone: the finished text by the script codec in one call",
          MedianMicros(repetitions, [&] {
              std::string converted;
              converted.reserve(bytes.size());
              codec.encodeInto(text, converted);
          }));
    Stage("floor: the finished text converted by WideCharToMultiByte",
          MedianMicros(repetitions, [&] {
              const std::unique_ptr<char[]> converted(new char[text.size() * 2]);
              WideCharToMultiByte(CP_OEMCP, 0, text.data(), static_cast<int>(text.size()),
                                  converted.get(), static_cast<int>(text.size() * 2), nullptr, nullptr);
          }));
    const std::wstring path = folder + L"\\stage.bat";
    Stage("both: the bytes written (Platform::writeFile: CreateFileW, WriteFile)",
          MedianMicros(repetitions, [&] { platform.writeFile(path, bytes); }));
    DeleteFileW(path.c_str());
}

// A stage run at 100,000 rows on both sides: each step's samples by name, printed as medians.
struct StageRun {
    explicit StageRun(const std::wstring& folder) : main(folder) { FillBoth(main, bare, ManyRows); }
    void step(const std::string& name, Stopwatch& watch) {
        steps[name].push_back(watch.micros());
        watch = Stopwatch();
    }
    void print() const {
        for (const auto& [name, samples] : steps) Stage(name.c_str(), SpreadOf(samples).median);
    }
    Main main;
    BareRows bare;
    const HWND top = main.form.hwnd();
    const HWND table = main.control(L"jobTable");
    std::map<std::string, std::vector<double>> steps;
};

// A keystroke in the ticked unified folder box at 100,000 rows, step by step: where its time goes.
void KeystrokeStages(const std::wstring& folder, int repetitions) {
    StageRun run(folder);
    Main& main = run.main;
    BareRows& bare = run.bare;
    const HWND top = run.top, table = run.table;
    main.click(L"unifiedFolderCheck");
    Paint(bare.top());
    const HWND box = main.control(L"unifiedFolderBox");
    for (int i = 0; i < repetitions; ++i) {
        for (const wchar_t key : {L'x', L'\b'}) {
            const auto length = static_cast<WPARAM>(GetWindowTextLengthW(box));
            SendMessageW(box, EM_SETSEL, length, static_cast<LPARAM>(length));
            Stopwatch watch;
            SendMessageW(box, WM_CHAR, key, 1);
            run.step("ours: WM_CHAR (EN_CHANGE, the document, the column, the list told)", watch);
            Pump();
            run.step("ours: the posted messages and the paint", watch);
            Paint(top);
        }
        Stopwatch watch;
        main.form.jobs().rows().snapshot();
        run.step("ours: a snapshot of the rows (what a step and the session take)", watch);
        InvalidateRect(table, nullptr, FALSE);
        Paint(top);
        run.step("ours: the table invalidated and painted alone (custom draw)", watch);
        InvalidateRect(bare.list(), nullptr, FALSE);
        Paint(bare.top());
        run.step("floor: the bare list invalidated and painted alone", watch);
        const std::wstring text = TextOf(box);
        for (BareRow& row : bare.rows) row.cells[2] = text;
        run.step("floor: the vector's folder column rewritten", watch);
    }
    std::printf("keystroke in the ticked unified folder box, 100,000 rows (medians of %d):\n", repetitions);
    run.print();
}

// An in-place edit and a tick of the last row of 100,000, phase by phase on both sides.
void EditAndTickStages(const std::wstring& folder, int repetitions) {
    StageRun run(folder);
    BareRows& bare = run.bare;
    const HWND top = run.top, table = run.table;
    EditPhases ours, floor;
    for (int round = 0; round < repetitions; ++round) {
        EditCell(bare.list(), bare.top(), round, &floor, ManyRows - 1);
        EditCell(table, top, round, &ours, ManyRows - 1);
    }
    const LPARAM oursBox = BoxPoint(table, ManyRows - 1), floorBox = BoxPoint(bare.list(), ManyRows - 1);
    for (int round = 0; round < repetitions; ++round) {
        Stopwatch watch;
        SendMessageW(table, WM_LBUTTONDOWN, MK_LBUTTON, oursBox);
        run.step("ours: a click on the box, the button down", watch);
        SendMessageW(table, WM_LBUTTONUP, 0, oursBox);
        run.step("ours: a click on the box, the button up", watch);
        Pump();
        run.step("ours: a click on the box, what it posted", watch);
        Paint(top);
        run.step("ours: a click on the box, the paint", watch);
        PostMessageW(bare.list(), WM_LBUTTONDOWN, MK_LBUTTON, floorBox);
        PostMessageW(bare.list(), WM_LBUTTONUP, 0, floorBox);
        Pump();
        run.step("floor: a click on the box, its messages", watch);
        Paint(bare.top());
        run.step("floor: a click on the box, the paint", watch);
    }
    std::printf("in-place edit and tick of row 100,000 of 100,000 (mean of %d, ours / floor):\n", repetitions);
    PrintPhases(ours, floor, repetitions);
    run.print();
}

// 撤销 of a "-" of the middle row of 100,000, step by step on both sides.
void UndoStages(const std::wstring& folder, int repetitions) {
    StageRun run(folder);
    Main& main = run.main;
    BareRows& bare = run.bare;
    const HWND top = run.top, table = run.table;
    const int middle = ManyRows / 2;
    main.form.jobs().rows().setTicked(static_cast<std::size_t>(middle), true);
    ListView_EnsureVisible(table, middle, FALSE);
    ListView_EnsureVisible(bare.list(), middle, FALSE);
    Paint(top);
    Paint(bare.top());
    for (int i = 0; i < repetitions; ++i) {
        BareRow taken = std::move(bare.rows[static_cast<std::size_t>(middle)]);
        bare.rows.erase(bare.rows.begin() + middle);
        bare.shown();
        Stopwatch watch;
        bare.rows.insert(bare.rows.begin() + middle, std::move(taken));
        run.step("floor: the row put back into the vector", watch);
        SendMessageW(bare.list(), LVM_SETITEMCOUNT, bare.rows.size(), LVSICF_NOSCROLL);
        run.step("floor: LVM_SETITEMCOUNT", watch);
        InvalidateRect(bare.list(), nullptr, FALSE);
        run.step("floor: InvalidateRect", watch);
        Paint(bare.top());
        run.step("floor: painted", watch);

        main.click(L"removeTickedButton");
        watch = Stopwatch();
        SendMessageW(main.form.hwnd(), WM_COMMAND, MAKEWPARAM(mainwindow::IdMenuUndo, 0), 0);
        run.step("ours: 撤销 (History::undo, JobRows::restore, the list told)", watch);
        Paint(top);
        run.step("ours: painted", watch);
    }
    for (int i = 0; i < repetitions; ++i) {
        Stopwatch watch;
        SendMessageW(table, LVM_SETITEMCOUNT, ManyRows, LVSICF_NOSCROLL);
        run.step("ours: LVM_SETITEMCOUNT alone, the count unchanged", watch);
        SendMessageW(table, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
        run.step("ours: LVM_GETNEXTITEM selected", watch);
        SendMessageW(table, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED);
        run.step("ours: LVM_GETNEXTITEM focused", watch);
        // The selection and focus moved off the last row and back, as they follow a row.
        for (const int row : {ManyRows - 1, ManyRows - 2}) {
            ListView_SetItemState(table, row, 0, LVIS_SELECTED);
            ListView_SetItemState(table, row ^ 1, LVIS_SELECTED, LVIS_SELECTED);
            ListView_SetItemState(table, row, 0, LVIS_FOCUSED);
            ListView_SetItemState(table, row ^ 1, LVIS_FOCUSED, LVIS_FOCUSED);
            run.step("ours: selection and focus to the next row, four LVM_SETITEMSTATE, each change noted", watch);
        }
        Paint(top);
        SendMessageW(bare.list(), LVM_SETITEMCOUNT, ManyRows, LVSICF_NOSCROLL);
        run.step("floor: LVM_SETITEMCOUNT alone, the count unchanged", watch);
        Paint(bare.top());
        watch = Stopwatch();
        InvalidateRect(bare.list(), nullptr, FALSE);
        Paint(bare.top());
        run.step("floor: the list invalidated and painted alone", watch);
        InvalidateRect(bare.list(), nullptr, TRUE);
        Paint(bare.top());
        run.step("floor: the list invalidated with erasing and painted", watch);
    }
    {
        JobRows rows;
        rows.append(main.form.jobs().all());
        rows.setTicked(static_cast<std::size_t>(middle), true);
        for (int i = 0; i < repetitions; ++i) {
            const JobRowsSnapshot before = rows.snapshot();
            rows.takeTicked();
            Stopwatch watch;
            rows.restore(before);
            run.step("model alone: JobRows::restore of the rows before a \"-\" of one row", watch);
            rows.takeTicked();
            run.step("model alone: JobRows::takeTicked of one row", watch);
            rows.restore(before);
            const RowId lastId = rows.id(rows.count() - 1);
            watch = Stopwatch();
            rows.find(lastId, rows.count() - 2);
            run.step("model alone: JobRows::find of the last row, hinted one row off", watch);
            rows.find(lastId, 0);
            run.step("model alone: JobRows::find of the last row, hinted at the first (every row walked)", watch);
        }
    }
    std::printf("撤销 of a \"-\" of row 50,000 of 100,000 (medians of %d):\n", repetitions);
    run.print();
}

void WorkbookStages(const std::wstring& folder, int repetitions) {
    Win32Platform platform;
    const std::vector<RenderJob> rows = JobListRows();
    const std::string workbook = SaveJobWorkbook(rows), csv = SaveJobList(rows);
    auto package = std::get<zip::Package>(zip::Package::Open(workbook));
    std::vector<zip::Part> parts;
    std::size_t unpacked = 0;
    for (const char* name : {"[Content_Types].xml", "_rels/.rels", "docProps/app.xml", "xl/workbook.xml",
                             "xl/_rels/workbook.xml.rels", "xl/styles.xml", "xl/sharedStrings.xml",
                             "xl/worksheets/sheet1.xml"}) {
        parts.push_back({name, std::get<std::string>(package.read(name))});
        unpacked += parts.back().bytes.size();
    }
    std::printf("job list of 10,000 rows (xlsx %zu bytes, %zu unpacked; csv %zu bytes):\n",
                workbook.size(), unpacked, csv.size());
    Stage("ours: saved (SaveJobWorkbook)", MedianMicros(repetitions, [&] { SaveJobWorkbook(rows); }));
    Stage("  of which: the parts zipped (deflate level 1, CRC-32)",
          MedianMicros(repetitions, [&] { zip::Write(parts); }));
    Stage("ours: opened (OpenJobWorkbook)", MedianMicros(repetitions, [&] { OpenJobWorkbook(workbook); }));
    Stage("  of which: the parts unzipped (inflate, CRC-32)", MedianMicros(repetitions, [&] {
              auto opened = std::get<zip::Package>(zip::Package::Open(workbook));
              for (const zip::Part& part : parts) opened.read(part.name);
          }));
    Stage("floor: saved (SaveJobList)", MedianMicros(repetitions, [&] { SaveJobList(rows); }));
    Stage("floor: opened (OpenJobList)", MedianMicros(repetitions, [&] { OpenJobList(csv); }));
    const std::wstring path = folder + L"\\stage.bin";
    Stage("ours: written and read back (replaceFile, readFile)", MedianMicros(repetitions, [&] {
              platform.replaceFile(path, workbook);
              platform.readFile(path);
          }));
    Stage("floor: written and read back (replaceFile, readFile)", MedianMicros(repetitions, [&] {
              platform.replaceFile(path, csv);
              platform.readFile(path);
          }));
    DeleteFileW(path.c_str());
}

std::wstring Wide(const char* utf8) {
    std::wstring text(std::strlen(utf8), L'\0');
    text.resize(static_cast<std::size_t>(MultiByteToWideChar(
        CP_UTF8, 0, utf8, -1, text.data(), static_cast<int>(text.size()) + 1)) - 1);
    if (text.starts_with(L"/")) text = L"Z:" + text;  // a Unix path, as Wine shows it
    for (wchar_t& c : text) c = c == L'/' ? L'\\' : c;
    return text;
}

HWND VisibleWindowOf(DWORD process) {
    struct Search {
        DWORD process;
        HWND found;
    } search{process, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM context) {
            auto& s = *reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner != s.process || !IsWindowVisible(hwnd) || GetWindow(hwnd, GW_OWNER)) return TRUE;
            s.found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Starts a program as Explorer does and waits until its window is shown and idle. Returns the
// time that took and, after a moment of idleness, its peak working set in KiB.
std::pair<double, double> Launch(const std::wstring& program) {
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const Stopwatch watch;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return {0, 0};
    }
    const KernelHandle process(info.hProcess);
    CloseHandle(info.hThread);
    HWND window = nullptr;
    while (!(window = VisibleWindowOf(info.dwProcessId))) Sleep(0);
    WaitForInputIdle(process.get(), 10000);
    const double micros = watch.micros();
    Sleep(300);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process.get(), &memory, sizeof memory);
    PostMessageW(window, WM_CLOSE, 0, 0);
    WaitForSingleObject(process.get(), 10000);
    return {micros, static_cast<double>(memory.PeakWorkingSetSize) / 1024};
}

// The job editor opened with "+" and closed by its close box from this process, as a user's
// clicks reach the program (`ours`, or the floor with the bare editor), `cycles` times; prints
// the program's PagefileUsage, which Wine reports, every hundred cycles.
int DriveEditor(std::wstring_view kind, int cycles) {
    std::wstring commandLine = L"\"" + Wide(kind == L"bare" ? RAVOLEN_MINIMAL : RAVOLEN_EXE) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return 1;
    }
    const KernelHandle process(info.hProcess);
    CloseHandle(info.hThread);
    HWND window = nullptr;
    while (!(window = VisibleWindowOf(info.dwProcessId))) Sleep(1);
    WaitForInputIdle(process.get(), 10000);
    HWND plus = nullptr;  // wherever it lies among the window's children
    EnumChildWindows(window, [](HWND child, LPARAM found) -> BOOL {
        wchar_t text[4]{};
        GetWindowTextW(child, text, 4);
        if (lstrcmpW(text, L"+") != 0) return TRUE;
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }, reinterpret_cast<LPARAM>(&plus));
    if (!plus) return 2;
    const auto editor = [&] {
        struct Search {
            DWORD process;
            HWND found = nullptr;
        } search{info.dwProcessId};
        EnumWindows([](HWND hwnd, LPARAM context) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            wchar_t title[32]{};
            GetWindowTextW(hwnd, title, 32);
            if (owner != s.process || !IsWindowVisible(hwnd) || lstrcmpW(title, L"添加MAX文件及设置") != 0) return TRUE;
            s.found = hwnd;
            return FALSE;
        }, reinterpret_cast<LPARAM>(&search));
        return search.found;
    };
    const auto usage = [&] {
        PROCESS_MEMORY_COUNTERS memory{};
        memory.cb = sizeof memory;
        GetProcessMemoryInfo(process.get(), &memory, sizeof memory);
        return static_cast<double>(memory.PagefileUsage) / 1024;
    };
    for (int cycle = 0; cycle <= cycles; ++cycle) {
        if (cycle % 100 == 0) std::printf("%-5ls %5d cycles %10.0f KiB\n", std::wstring(kind).c_str(), cycle, usage());
        if (cycle == cycles) break;
        PostMessageW(plus, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
        PostMessageW(plus, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
        HWND opened = nullptr;
        for (int wait = 0; wait < 5000 && !(opened = editor()); ++wait) Sleep(1);
        if (!opened) return 3;
        WaitForInputIdle(process.get(), 1000);
        PostMessageW(opened, WM_SYSCOMMAND, SC_CLOSE, 0);  // its close box
        for (int wait = 0; wait < 5000 && IsWindow(opened); ++wait) Sleep(1);
    }
    std::fflush(stdout);
    PostMessageW(window, WM_CLOSE, 0, 0);
    WaitForSingleObject(process.get(), 10000);
    return 0;
}

std::pair<Result, Result> Startup(int repetitions) {
    const std::wstring ours = Wide(RAVOLEN_EXE), minimal = Wide(RAVOLEN_MINIMAL);
    std::vector<double> oursTime, floorTime, oursMemory, floorMemory;
    for (int i = 0; i < repetitions; ++i) {
        const auto [ft, fm] = Launch(minimal);
        const auto [ot, om] = Launch(ours);
        floorTime.push_back(ft);
        floorMemory.push_back(fm);
        oursTime.push_back(ot);
        oursMemory.push_back(om);
    }
    return {{"start-up until the window is shown and idle", SpreadOf(floorTime), SpreadOf(oursTime),
             Goal::Ratio, 1.15, "us"},
            {"peak working set, idle after start-up", SpreadOf(floorMemory), SpreadOf(oursMemory),
             Goal::Ratio, 1.15, "KiB"}};
}

// A child process holding 10,000 rows, as the main window or as the bare list; its exit code is
// its peak working set in KiB.
int HoldRows(std::wstring_view kind, const std::wstring& folder) {
    if (kind == L"form") {
        Main main(folder);
        main.click(L"quickAddButton");
    } else {
        // The same dialog's answer as ours is given, held as long.
        const std::vector<std::wstring> answer = QuickAddAnswer();
        const HWND window = CreateMainWindowFloor(GetModuleHandleW(nullptr), DefWindowProcW);
        ShowWindow(window, SW_SHOW);
        const HWND list = GetDlgItem(window, ListId);
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        for (int i = 1; i <= Rows; ++i) {
            const std::wstring texts[] = {answer[0] + L"\\" + answer[static_cast<std::size_t>(i)], L"默认",
                                          L"E:\\渲染\\输出", L"镜头" + std::to_wstring(i) + L"_最终.tga",
                                          L"默认", L"默认"};
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = i - 1;
            item.pszText = const_cast<wchar_t*>(texts[0].c_str());
            const auto row = SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
            for (int k = 1; k < 6; ++k) {
                item.iSubItem = k;
                item.pszText = const_cast<wchar_t*>(texts[k].c_str());
                SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                             reinterpret_cast<LPARAM>(&item));
            }
        }
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        Paint(window);
    }
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    return static_cast<int>(memory.PeakWorkingSetSize / 1024);
}

// Runs this program again as a child with `arguments`; null when it could not be started.
KernelHandle StartSelf(const std::wstring& arguments, DWORD* id = nullptr) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return {};
    }
    CloseHandle(info.hThread);
    if (id) *id = info.dwProcessId;
    return KernelHandle(info.hProcess);
}

// Runs this program again as a child with `arguments` and appends its exit code, a figure, to
// `samples`.
void ChildFigure(const std::wstring& arguments, std::vector<double>& samples) {
    const KernelHandle process = StartSelf(arguments);
    if (!process) return;
    WaitForSingleObject(process.get(), 300000);
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    samples.push_back(static_cast<double>(static_cast<int>(code)));
}

Result RowsMemory(int repetitions) {
    std::vector<double> ours, floor;
    for (int i = 0; i < repetitions; ++i) {
        ChildFigure(L"--hold bare", floor);
        ChildFigure(L"--hold form", ours);
    }
    return {"peak working set with 10,000 rows", SpreadOf(floor), SpreadOf(ours), Goal::Ratio, 1.15,
            "KiB"};
}

// A child process holding 100,000 rows from quick add, as the main window or as the main window's
// floor with its list owner-data over a vector of the same rows; its exit code is its peak working
// set in KiB.
std::vector<BareRow>* HeldRows = nullptr;

LRESULT CALLBACK HeldRowsProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY && HeldRows && reinterpret_cast<NMHDR*>(lParam)->code == LVN_GETDISPINFOW) {
        GiveBareRow(*HeldRows, reinterpret_cast<NMLVDISPINFOW*>(lParam)->item);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

int HoldManyRows(std::wstring_view kind, const std::wstring& folder) {
    std::vector<std::wstring> answer = QuickAddAnswer(ManyRows);
    std::optional<Main> main;
    std::vector<BareRow> rows;
    if (kind == L"form") {
        main.emplace(folder);
        main->platform.openAnswer = std::move(answer);
        main->click(L"quickAddButton");
    } else {
        HeldRows = &rows;
        const HWND window = CreateMainWindowFloor(GetModuleHandleW(nullptr), HeldRowsProcedure, LVS_OWNERDATA);
        const HWND list = GetDlgItem(window, ListId);
        SendMessageW(list, LVM_SETCALLBACKMASK, LVIS_STATEIMAGEMASK, 0);
        ShowWindow(window, SW_SHOW);
        rows.reserve(answer.size() - 1);
        for (std::size_t i = 0; i + 1 < answer.size(); ++i) rows.push_back(QuickRow(answer, i, L"renderOutput\\", L".tga"));
        SendMessageW(list, LVM_SETITEMCOUNT, rows.size(), LVSICF_NOSCROLL);
        const int last = static_cast<int>(rows.size()) - 1;
        ListView_SetItemState(list, last, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(list, last, FALSE);
        Paint(window);
    }
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    return static_cast<int>(memory.PeakWorkingSetSize / 1024);
}

Result ManyRowsMemory(int repetitions) {
    std::vector<double> ours, floor;
    for (int i = 0; i < repetitions; ++i) {
        ChildFigure(L"--hold-many bare", floor);
        ChildFigure(L"--hold-many form", ours);
    }
    return {"peak working set with 100,000 rows", SpreadOf(floor), SpreadOf(ours), Goal::Ratio, 1.3, "KiB"};
}

constexpr int EditorCycles = 500;

// The committed private memory of this process, region by region: Wine answers PrivateUsage
// with 0, but keeps the regions as Windows does.
std::size_t PrivateBytes() {
    std::size_t total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (auto* at = static_cast<const char*>(nullptr);
         VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    }
    return total;
}

// A child process opening and closing the job editor (its close box), or the bare dialog with the
// same controls; its exit code is how many bytes its private memory grew over the cycles, after
// a few first ones that fill the caches every window needs.
int CycleEditor(std::wstring_view kind, const std::wstring& folder) {
    std::optional<Main> main;
    if (kind == L"form") main.emplace(folder);
    const auto cycle = [&] {
        if (!main) {
            OpenAndCloseBareJobEditor();
            return;
        }
        main->click(L"addJobButton");
        SendMessageW(main->form.jobDialog()->hwnd(), WM_CLOSE, 0, 0);
        Pump();
    };
    for (int i = 0; i < 20; ++i) cycle();
    const std::size_t before = PrivateBytes();
    for (int i = 0; i < EditorCycles; ++i) cycle();
    return static_cast<int>(static_cast<long long>(PrivateBytes()) - static_cast<long long>(before));
}

// Where the memory of 10,000 rows goes, for --stages: the committed private bytes each holder of
// the same rows adds, in a child process each.
int RowsBytes(std::wstring_view kind, const std::wstring& folder) {
    const std::vector<std::wstring> answer = QuickAddAnswer(Rows);
    std::optional<Main> main;
    if (kind == L"form") main.emplace(folder);
    const std::size_t before = PrivateBytes();
    std::vector<RenderJob> jobs;
    JobRows rows;
    std::vector<BareRow> bare;
    if (kind == L"jobs") {
        for (int i = 0; i < Rows; ++i) jobs.push_back(QuickAddJob(answer, static_cast<std::size_t>(i), L"renderOutput\\", L".tga"));
    } else if (kind == L"rows") {
        rows.append(Rows, [&](std::size_t i) { return JobRow{QuickAddJob(answer, i, L"renderOutput\\", L".tga"), false, nullptr, 0}; });
    } else if (kind == L"bare") {
        for (std::size_t i = 0; i + 1 < answer.size(); ++i) bare.push_back(QuickRow(answer, i, L"renderOutput\\", L".tga"));
    } else if (kind == L"list") {
        // A bare list view holding the texts itself, as the floor of the 10,000 rows' memory.
        const HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_POPUP | LVS_REPORT, 0, 0, 600, 200, nullptr,
                                          nullptr, GetModuleHandleW(nullptr), nullptr);
        for (int i = 0; i < 6; ++i) {
            LVCOLUMNW column{};
            column.mask = LVCF_WIDTH;
            column.cx = 90;
            SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
        }
        for (std::size_t i = 0; i + 1 < answer.size(); ++i) {
            const BareRow row = QuickRow(answer, i, L"renderOutput\\", L".tga");
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(i);
            item.pszText = const_cast<wchar_t*>(row.cells[0].c_str());
            SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
            for (int k = 1; k < 6; ++k) {
                item.iSubItem = k;
                item.pszText = const_cast<wchar_t*>(row.cells[static_cast<std::size_t>(k)].c_str());
                SendMessageW(list, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
            }
        }
    } else if (kind == L"form") {
        main->platform.openAnswer = answer;
        main->click(L"quickAddButton");
    }
    return static_cast<int>((static_cast<long long>(PrivateBytes()) - static_cast<long long>(before)) / 1024);
}

void MemoryStages() {
    std::printf("committed private memory of 10,000 rows from quick add (KiB):\n");
    // bare: a vector of six strings and a tick a row; jobs: a vector of RenderJob; rows: JobRows;
    // list: a list view holding the texts; form: the main window's quick add.
    for (const wchar_t* kind : {L"bare", L"jobs", L"rows", L"list", L"form"}) {
        std::vector<double> samples;
        ChildFigure(std::wstring(L"--rows-bytes ") + kind, samples);
        std::printf("  %-62ls %9.0f KiB\n", kind, samples.empty() ? 0.0 : samples.front());
    }
}

Result EditorMemory(int repetitions) {
    std::vector<double> ours, floor;
    for (int i = 0; i < repetitions; ++i) {
        ChildFigure(L"--cycles bare", floor);
        ChildFigure(L"--cycles form", ours);
    }
    for (double& bytes : floor) bytes /= 1024;
    for (double& bytes : ours) bytes /= 1024;
    return {"private bytes grown by 500 job editor cycles", SpreadOf(floor), SpreadOf(ours),
            Goal::MicrosAbove, 0.1 * EditorCycles, "KiB"};
}

// ---- The processor left alone: each child runs a message loop for a fixed span and waits at
// either end of it while this process reads the child's processor time from outside.

// Long beside the 10 ms ticks Wine counts processor time in: a tick is 0.05 % of it.
constexpr DWORD CpuSpanMillis = 20000;
// Before the span: what start-up posted (the first paints, the night's first beats) handled.
constexpr DWORD CpuSettleMillis = 1000;
// The longest either side waits for the other: a start-up with 10,000 rows under a busy Wine takes
// seconds, never minutes.
constexpr DWORD CpuWaitBound = 180000;

// The floor's window: its timer's message does nothing.
LRESULT CALLBACK QuietProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) return 0;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// A message loop for `millis`, ended by a thread timer of its own: the main window's messages go
// through the program's dispatch, the floor's straight to its window.
void LoopFor(DWORD millis, bool program) {
    const UINT_PTR end = SetTimer(nullptr, 0, millis, nullptr);
    if (!end) return;
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && !message.hwnd && message.wParam == end) break;
        if (program) {
            win::DispatchLoopMessage(message);
        } else {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    KillTimer(nullptr, end);
}

// The child's window made and settled in `folder`, then the span; 0, or where it went wrong.
int HoldStillIn(const std::wstring& folder, bool following, bool program, HANDLE ready, HANDLE go) {
    std::optional<Main> main;
    HWND bare = nullptr;
    if (program) {
        // The session the window finds as it starts: 10,000 rows from quick add, saved by a
        // window before it.
        std::vector<std::pair<std::wstring, std::string>> session;
        {
            Main first(folder);
            first.fill();
            SendMessageW(first.form.hwnd(), WM_TIMER, mainwindow::IdTimerSession, 0);
            if (!first.form.sessionWritten()) return 11;
            for (const std::wstring& path : {first.form.sessionRowsPath(), first.form.sessionSettingsPath()}) {
                session.emplace_back(path, first.platform.readFile(path).value_or(std::string()));
            }
        }
        main.emplace(folder, [&](BenchPlatform& platform) {
            for (const auto& [path, bytes] : session) platform.writeFile(path, bytes);
        });
        if (main->form.jobs().count() != Rows) return 12;
        if (following) {
            // 渲  染 followed, the first row's renderer under way: the night's timer beats, and
            // the watchdog looks at the renderer's processes as it does all night.
            main->platform.followable = true;
            main->platform.listsRenderTree = true;
            main->click(L"renderButton");
            main->platform.jobEvents.push_back({RenderJobEvent::Kind::Started, GetCurrentProcessId(),
                                               L"D:\\Program Files\\Autodesk\\3ds Max 2012\\3dsmaxcmd.exe",
                                               L"", false, 0, main->form.clock()});
            SendMessageW(main->form.hwnd(), WM_TIMER, mainwindow::IdTimerNight, 0);
            const NightFollower* night = main->form.night();
            if (!night || !night->following() || !night->watch().rendererUnderWay()) return 13;
        }
    } else {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &QuietProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"RavolenBenchQuiet";
        RegisterClassW(&windowClass);
        bare = CreateWindowExW(0, L"RavolenBenchQuiet", L"bare", WS_OVERLAPPEDWINDOW, 0, 0, 700, 450,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!bare) return 14;
        ShowWindow(bare, SW_SHOW);
        if (following) SetTimer(bare, 1, MainWindow::NightInterval, nullptr);
    }
    LoopFor(CpuSettleMillis, program);
    if (main && !main->form.sessionWritten()) return 15;
    int code = 0;
    // Either end of the span is read from outside while this process waits here.
    SetEvent(ready);
    if (WaitForSingleObject(go, CpuWaitBound) != WAIT_OBJECT_0) code = 16;
    if (code == 0) {
        LoopFor(CpuSpanMillis, program);
        SetEvent(ready);
        if (WaitForSingleObject(go, CpuWaitBound) != WAIT_OBJECT_0) code = 16;
    }
    if (bare) DestroyWindow(bare);
    return code;
}

// A child of the `cpu` figure: `situation` idle or follow, `kind` form (the main window) or bare
// (the floor), each end of its span told on the events named `events`-ready and awaited on
// `events`-go. Its exit code is 0, or where it went wrong.
int HoldStill(std::wstring_view situation, std::wstring_view kind, const std::wstring& events,
              const std::wstring& folder) {
    const KernelHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, (events + L"-ready").c_str()));
    const KernelHandle go(OpenEventW(SYNCHRONIZE, FALSE, (events + L"-go").c_str()));
    if (!ready || !go) return 10;
    // A program folder of its own: no night of another run is found at start-up and offered again.
    const std::wstring own = folder + L"\\cpu-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(own.c_str(), nullptr);
    const int code = HoldStillIn(own, situation == L"follow", kind == L"form", ready.get(), go.get());
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(own), ignored);
    return code;
}

// A child as this process sees it: its events, its processor time at either end of its span (in
// 100 ns) and the span.
struct CpuChild {
    std::wstring arguments;
    KernelHandle ready, go, process;
    DWORD id = 0;
    unsigned long long before = 0, after = 0;
    double micros = 0;
};

[[noreturn]] void CpuFailed(std::vector<CpuChild>& children, const char* what) {
    std::fprintf(stderr, "cpu: a child %s\n", what);
    for (CpuChild& child : children) {
        DWORD code = 0;
        if (child.process && GetExitCodeProcess(child.process.get(), &code)) {
            if (code == STILL_ACTIVE) {
                std::fprintf(stderr, "  --cpu %ls: still running, ended\n", child.arguments.c_str());
                TerminateProcess(child.process.get(), 1);
            } else {
                std::fprintf(stderr, "  --cpu %ls: exit code %lu\n", child.arguments.c_str(), code);
            }
        }
    }
    std::exit(6);
}

// Until every child waits at an end of its span, noting when each got there; false when one ended
// instead, or the bound passed.
bool AwaitEnds(std::vector<CpuChild>& children, const Stopwatch& watch) {
    std::vector<std::size_t> waiting(children.size());
    for (std::size_t i = 0; i < waiting.size(); ++i) waiting[i] = i;
    while (!waiting.empty()) {
        std::vector<HANDLE> handles;
        for (const std::size_t i : waiting) handles.push_back(children[i].ready.get());
        for (const std::size_t i : waiting) handles.push_back(children[i].process.get());
        const DWORD which = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(),
                                                   FALSE, CpuWaitBound);
        if (which >= WAIT_OBJECT_0 + waiting.size()) return false;
        children[waiting[which - WAIT_OBJECT_0]].micros = watch.micros();
        waiting.erase(waiting.begin() + static_cast<std::ptrdiff_t>(which - WAIT_OBJECT_0));
    }
    return true;
}

// One round of the `cpu` figure: a child for each of `arguments`, all at once; each one's share of
// one processor over its span, in percent. The processor time is the system's list of processes
// (what Windows' GetProcessTimes reads too; Wine answers that for another process with a
// constant, and the list truly).
std::vector<double> CpuShares(const std::vector<std::wstring>& arguments) {
    std::vector<CpuChild> children(arguments.size());
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        CpuChild& child = children[i];
        const std::wstring events = L"Local\\RavolenBenchCpu-" + std::to_wstring(GetCurrentProcessId()) +
                                    L"-" + std::to_wstring(i);
        child.arguments = arguments[i];
        child.ready = KernelHandle(CreateEventW(nullptr, FALSE, FALSE, (events + L"-ready").c_str()));
        child.go = KernelHandle(CreateEventW(nullptr, FALSE, FALSE, (events + L"-go").c_str()));
        if (child.ready && child.go) child.process = StartSelf(L"--cpu " + arguments[i] + L" " + events, &child.id);
        if (!child.process) CpuFailed(children, "could not be started");
    }
    const auto read = [&](unsigned long long CpuChild::*time) {
        const auto listed = ListProcesses();
        if (!listed) CpuFailed(children, "could not be listed");
        for (CpuChild& child : children) {
            const auto found = std::find_if(listed->begin(), listed->end(),
                                            [&](const ListedProcess& process) { return process.id == child.id; });
            if (found == listed->end()) CpuFailed(children, "is not listed");
            child.*time = found->time;
        }
    };
    if (!AwaitEnds(children, Stopwatch())) CpuFailed(children, "did not get ready");
    read(&CpuChild::before);
    const Stopwatch watch;
    for (CpuChild& child : children) SetEvent(child.go.get());
    if (!AwaitEnds(children, watch)) CpuFailed(children, "did not end its span");
    read(&CpuChild::after);
    for (CpuChild& child : children) SetEvent(child.go.get());
    std::vector<double> shares;
    for (CpuChild& child : children) {
        DWORD code = 1;
        if (WaitForSingleObject(child.process.get(), CpuWaitBound) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(child.process.get(), &code) || code != 0) {
            CpuFailed(children, "failed");
        }
        // 100 ns of processor time over microseconds of span, in percent.
        shares.push_back(static_cast<double>(child.after - child.before) * 10 / child.micros);
    }
    return shares;
}

// The main window idle and following a night beside a bare window with the same timers. Ours and
// the floors of both run at once, each in its own process: a process's processor time is its own,
// which the others' do not add to, and all four see the same machine.
std::pair<Result, Result> ProcessorShares(int repetitions) {
    const std::vector<std::wstring> kinds = {L"idle bare", L"idle form", L"follow bare", L"follow form"};
    std::vector<std::vector<double>> samples(kinds.size());
    for (int i = 0; i < repetitions; ++i) {
        const std::vector<double> shares = CpuShares(kinds);
        for (std::size_t k = 0; k < kinds.size(); ++k) samples[k].push_back(shares[k]);
    }
    return {{"processor share idle, 10,000 rows loaded", SpreadOf(samples[0]), SpreadOf(samples[1]),
             Goal::AtMostOrRatio, 0.3, "%", 1.5},
            {"processor share following a night of 10,000 rows", SpreadOf(samples[2]), SpreadOf(samples[3]),
             Goal::AtMostOrRatio, 0.5, "%", 1.5}};
}

std::wstring BenchFolder() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"ravolen-bench";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

}  // namespace
}  // namespace ravolen::bench

int wmain(int argc, wchar_t** argv) {
    using namespace ravolen::bench;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const std::wstring folder = BenchFolder();
    if (argc == 3 && std::wstring_view(argv[1]) == L"--hold") return HoldRows(argv[2], folder);
    if (argc == 3 && std::wstring_view(argv[1]) == L"--hold-many") return HoldManyRows(argv[2], folder);
    if (argc == 3 && std::wstring_view(argv[1]) == L"--rows-bytes") return RowsBytes(argv[2], folder);
    if (argc == 3 && std::wstring_view(argv[1]) == L"--cycles") return CycleEditor(argv[2], folder);
    if (argc == 4 && std::wstring_view(argv[1]) == L"--drive-editor") return DriveEditor(argv[2], _wtoi(argv[3]));
    if (argc == 5 && std::wstring_view(argv[1]) == L"--cpu") return HoldStill(argv[2], argv[3], argv[4], folder);
    if (argc >= 2 && std::wstring_view(argv[1]) == L"--stages") {
        const int repetitions = argc > 2 ? std::max(1, _wtoi(argv[2])) : 15;
        if (argc > 3 && std::wstring_view(argv[3]) == L"scale") {
            MemoryStages();
            EditAndTickStages(folder, repetitions);
            KeystrokeStages(folder, repetitions);
            UndoStages(folder, repetitions);
            return 0;
        }
        EditStages(folder, repetitions);
        ScriptStages(folder, repetitions);
        WorkbookStages(folder, repetitions);
        return 0;
    }
    const int repetitions = argc > 1 ? std::max(5, _wtoi(argv[1])) : 5;
    // Further arguments name the figures to run (quickadd, keystroke, delete, edit, results,
    // session, live, script, xlsx, startup, memory, editor, scale, cpu); none runs them all.
    const auto wanted = [&](std::wstring_view figure) {
        if (argc <= 2) return true;
        for (int i = 2; i < argc; ++i) {
            if (figure == argv[i]) return true;
        }
        return false;
    };

    std::printf("%-44s %-24s %-24s %6s  %-10s %s\n", "work (median, min-max)", "floor", "ours",
                "ratio", "goal", "");
    std::vector<Result> results;
    const auto add = [&](Result result) {
        Print(result);
        results.push_back(std::move(result));
    };
    if (wanted(L"quickadd") || wanted(L"keystroke") || wanted(L"delete") || wanted(L"edit") ||
        wanted(L"results") || wanted(L"session") || wanted(L"live")) {
        Main main(folder);
        BareList bare;
        if (wanted(L"quickadd")) add(QuickAdd(main, bare, repetitions));
        if (wanted(L"keystroke")) {
            add(Keystroke(main, bare, L"unifiedFormatBox", L"unifiedFormatCheck", 3, true, "keystroke, unified format ticked, 10,000 rows",
                          repetitions));
            add(Keystroke(main, bare, L"unifiedFolderBox", L"unifiedFolderCheck", 2, false, "keystroke, unified folder ticked, 10,000 rows",
                          repetitions));
        }
        if (wanted(L"delete")) {
            add(Delete(main, bare, repetitions, false));
            add(Delete(main, bare, repetitions, true));
        }
        if (wanted(L"edit")) add(CellEdit(main, bare, repetitions));
        if (wanted(L"results")) add(ResultsDialogOpen(main, bare, repetitions));
        if (wanted(L"session")) {
            add(SessionSave(main, repetitions));
            add(SessionSaveAfterAnEdit(main, repetitions));
        }
        if (wanted(L"live")) add(LiveResults(main, bare, repetitions));
    }
    if (wanted(L"script")) add(Script(folder, repetitions));
    if (wanted(L"xlsx")) add(JobListFiles(folder, repetitions));
    if (wanted(L"startup") || wanted(L"memory")) {
        const auto [startup, idle] = Startup(repetitions);
        if (wanted(L"startup")) add(startup);
        if (wanted(L"memory")) {
            add(RowsMemory(repetitions));
            add(idle);
        }
    }
    if (wanted(L"editor")) add(EditorMemory(std::max(1, repetitions / 3)));
    if (wanted(L"scale")) {
        for (Result& result : Scale(folder, repetitions)) add(std::move(result));
        add(ManyRowsMemory(repetitions));
    }
    // Three rounds of 20 s: a share of a processor moves little from round to round.
    if (wanted(L"cpu")) {
        const auto [idle, following] = ProcessorShares(std::min(repetitions, 3));
        add(idle);
        add(following);
    }

    int met = 0;
    for (const Result& result : results) met += result.met();
    std::printf("%d of %zu figures meet their goal%s\n", met, results.size(),
                met == static_cast<int>(results.size()) ? "" : " (see MISSED above)");
    return 0;
}
