#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ravolen::win {

// Why the clipboard could not be used: another program kept it open past a short wait, or
// Windows refused its memory or data.
enum class ClipboardFault { Busy, Failed };

// The message for a fault, for the window to show.
std::wstring_view ClipboardFaultMessage(ClipboardFault fault);

// Puts text (CF_UNICODETEXT) and the same content as CSV bytes (the registered "Csv" format, as
// Excel puts it: in the ANSI code page) on the clipboard in place of what it held, owned by
// `owner` (a window: a null owner cannot put); empty `csv` puts the text alone. Never half a copy:
// a fault once the clipboard was opened leaves it empty.
std::optional<ClipboardFault> PutOnClipboard(HWND owner, std::wstring_view text, std::string_view csv);

// What the clipboard holds for a paste: the files copied in Explorer (CF_HDROP) when it holds any,
// else its text (CF_UNICODETEXT, up to its first null), else nothing.
struct ClipboardContent {
    std::vector<std::wstring> files;
    std::wstring text;
};
std::variant<ClipboardContent, ClipboardFault> ReadClipboard(HWND owner);
// Whether the clipboard holds files or text for ReadClipboard, asked without opening it (for a
// menu's item, greyed or not).
bool ClipboardHoldsContent();

}  // namespace ravolen::win
