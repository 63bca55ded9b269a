#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "base/Handles.h"
#include "platform/Platform.h"
#include "render/NightLog.h"
#include "win/Form.h"

namespace ravolen {

// The night's log, read-only: what the script's cmd echoed and what the renderers printed, each
// line decoded from the code page or UTF-16 as it was written, in a monospaced font, scrolled to
// the end. While the render runs it follows the file, reading only what was added.
class LogWindow final : public win::Form {
public:
    explicit LogWindow(Platform& platform) : platform_(platform) {}
    ~LogWindow() override { destroyWindow(); }

    // Creates the hidden window over `owner`; false when Windows refused.
    bool create(HWND owner);
    // Shows the log at `path` from its start, in front. `live`: the file still grows.
    void open(const std::wstring& path, bool live);
    // Adds what the file gained since the last look; once it grows no more (`live` false), its
    // unfinished last line too.
    void follow(bool live);
    // Adds the program's own notes on the night that it has not shown yet, after the file's lines:
    // the file is cmd's while the night runs.
    void showNotes(const std::vector<std::wstring>& notes);

    const std::wstring& path() const { return path_; }

private:
    bool onCommand(int id, int code) override;
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void onDpiChanged(int oldDpi) override;
    void onCloseClicked();
    void applyFont();
    void addLines(const std::vector<std::wstring>& lines);

    static const win::CommandRoute<LogWindow> Commands[];

    Platform& platform_;
    std::wstring path_;
    std::optional<LogReader> reader_;
    unsigned long long read_ = 0;  // bytes of the file taken so far
    bool finished_ = false;
    bool empty_ = true;  // no line shown yet
    std::size_t notesShown_ = 0;
    FontHandle font_;
};

}  // namespace ravolen
