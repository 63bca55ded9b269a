#include "app/DeadlineProgress.h"

#include <array>
#include <chrono>

#include "farm/FarmJobs.h"
#include "render/RenderCommand.h"
#include "win/Controls.h"

namespace ravolen {
namespace {

using win::ControlKind;

enum : int { IdRow = 6001, IdCount, IdStop };

// The next submission, posted so that the window paints and 停止 is heard between rows.
constexpr UINT SubmitNextMessage = WM_APP + 1;
// The tool has answered for the row under way.
constexpr UINT SubmittedMessage = WM_APP + 2;

const std::array<win::ControlSpec, 3> Layout{{
    {.kind = ControlKind::Label, .id = IdRow, .name = L"Row", .left = 120, .top = 240,
     .width = 5760, .height = 510, .tabIndex = 0},
    {.kind = ControlKind::Label, .id = IdCount, .name = L"Count", .left = 120, .top = 840,
     .width = 3600, .height = 255, .tabIndex = 1},
    {.kind = ControlKind::Button, .id = IdStop, .name = L"Stop", .left = 4680, .top = 1260,
     .width = 1200, .height = 420, .tabIndex = 2, .caption = L"停止", .defaultButton = true},
}};

}  // namespace

DeadlineProgress::~DeadlineProgress() {
    abandon();
    // The tool's processes end within moments of being told; a thread that still has not come
    // back within the worker's bound is left behind, holding only what it shares with nobody.
    worker_.stop(win::Worker::StopBound);
    destroyWindow();
}

void DeadlineProgress::abandon() {
    stopping_ = true;
    if (turn_) turn_->stop = true;
}

const win::CommandRoute<DeadlineProgress> DeadlineProgress::Commands[] = {
    {IdStop, BN_CLICKED, &DeadlineProgress::onStopClicked},
    {IDCANCEL, BN_CLICKED, &DeadlineProgress::onStopClicked},
};

bool DeadlineProgress::start(HWND owner) {
    if (!createForm(L"RavolenDeadline", L"提交到Deadline", 6000, 1800, 10.5, nullptr, owner) ||
        !createControls(Layout)) {
        destroyWindow();
        return false;
    }
    win::SetText(item(IdCount), L"已提交 0 / " + std::to_wstring(rows_.size()));
    ShowWindow(hwnd(), SW_SHOW);
    PostMessageW(hwnd(), SubmitNextMessage, 0, 0);
    return true;
}

LRESULT DeadlineProgress::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == SubmitNextMessage) {
        submitNext();
        return 0;
    }
    if (message == SubmittedMessage) {
        submitted();
        return 0;
    }
    if (message == WM_CLOSE) {  // the close box stops, as 停止 does
        onStopClicked();
        return 0;
    }
    return Form::onMessage(message, wParam, lParam);
}

bool DeadlineProgress::onCommand(int id, int code) {
    return win::RouteCommand<DeadlineProgress>(*this, Commands, id, code);
}

void DeadlineProgress::onStopClicked() {
    stopping_ = true;
    EnableWindow(item(IdStop), FALSE);
}

void DeadlineProgress::submitNext() {
    if (done_) return;
    if (stopping_ || next_ >= rows_.size() || next_ >= files_.size()) {
        finish();
        return;
    }
    const std::size_t row = next_++;
    const RenderJob& job = rows_[row];
    win::SetText(item(IdRow), L"正在提交第" + std::to_wstring(row + 1) + L"行：" + job.scene);
    UpdateWindow(hwnd());

    const std::wstring number = std::to_wstring(row + 1);
    // Beside the program, or in the user's own folder where the program's cannot be written.
    const std::wstring jobFile =
        WriteScriptFile(platform_, L"deadline\\job_" + number + L".job", files_[row].jobInfo);
    const std::wstring pluginFile =
        jobFile.empty() ? std::wstring()
                        : WriteScriptFile(platform_, L"deadline\\plugin_" + number + L".job",
                                          files_[row].pluginInfo);
    if (pluginFile.empty()) {
        refused_ += L"\n第" + number + L"行 " + job.scene + L"：无法写入提交文件";
        PostMessageW(hwnd(), SubmitNextMessage, 0, 0);
        return;
    }
    const std::wstring folder = pluginFile.substr(0, pluginFile.find_last_of(L'\\'));
    const std::vector<std::wstring> line{choice_.command, jobFile, pluginFile};
    const ProcessLaunch launch{choice_.command, JoinCommandLine(line), folder, WindowStyle::Hidden};
    const auto seconds = static_cast<unsigned>(choice_.settings.timeoutSeconds);
    auto turn = std::make_shared<Turn>();
    turn_ = turn;
    Platform& platform = platform_;
    worker_.start(hwnd(), SubmittedMessage, [&platform, turn, launch, seconds] {
        turn->answer = platform.runAndRead(launch, {seconds, &turn->stop});
    });
}

void DeadlineProgress::submitted() {
    worker_.finish();  // it has posted its last message
    const std::size_t row = next_ - 1;
    const std::optional<ProcessOutput>& answer = turn_->answer;
    const std::wstring output = answer ? platform_.ansiCodec().decode(answer->output) : std::wstring();
    std::wstring reason;
    if (!answer) {
        reason = L"无法启动deadlinecommand.exe";
    } else if (answer->timedOut) {
        reason = L"deadlinecommand在" + std::to_wstring(choice_.settings.timeoutSeconds) +
                 L"秒内没有回应";
    } else if (answer->exitCode != 0 || !DeadlineJobId(output)) {
        reason = LastLine(output);
        if (reason.empty()) reason = L"deadlinecommand.exe 没有给出任务编号";
    }
    if (reason.empty()) {
        ++accepted_;
    } else {
        refused_ += L"\n第" + std::to_wstring(row + 1) + L"行 " + rows_[row].scene + L"：" + reason;
    }
    win::SetText(item(IdCount),
                 L"已提交 " + std::to_wstring(next_) + L" / " + std::to_wstring(rows_.size()));
    PostMessageW(hwnd(), SubmitNextMessage, 0, 0);
}

// The closing message belongs to the main window: this window is hidden while it is open, and
// is destroyed only after this handler has returned (see Window::Dispose).
void DeadlineProgress::finish() {
    done_ = true;
    ShowWindow(hwnd(), SW_HIDE);
    std::wstring message = L"Deadline接受了" + std::to_wstring(accepted_) + L"个任务，共" +
                           std::to_wstring(rows_.size()) + L"个。";
    if (next_ < rows_.size()) {
        message += L"\n已停止：其余" + std::to_wstring(rows_.size() - next_) + L"个没有提交。";
    }
    if (!refused_.empty()) message += L"\n未被接受：" + refused_;
    if (!note_.empty()) message += L"\n" + note_;
    platform_.showMessage(message);
    if (finished_) finished_();
}

}  // namespace ravolen
