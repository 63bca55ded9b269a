#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ravolen {

// The last frame any scene can have: 3ds Max keeps time as a signed 32-bit count of ticks, 4800 a
// second, so at its slowest rate, one frame a second, frame 447392 is the last it reaches.
inline constexpr int MaxFrame = 447392;

// Frames `first` to `last`, both included; a single frame is a range of one.
struct FrameRange {
    int first = 0;
    int last = 0;

    bool operator==(const FrameRange&) const = default;
};

// The ranges of a 帧 cell in 3ds Max's own form, in the order written: whole frames and ranges
// separated by commas ("12", "0-100", "1,3,5-12"), blanks (spaces, tabs) around the numbers
// dropped. Nothing when the text is not such a list: an empty item ("1,,2", "1,"), a range
// without an end ("5-") or running backwards ("3-1"), a sign, a fraction, a letter, a number
// beyond MaxFrame.
std::optional<std::vector<FrameRange>> ParseFrameList(std::wstring_view text);

// The list as the renderer's -frames switch takes it: the text without its blanks.
std::wstring FramesArgument(std::wstring_view text);

// The frames a list names, each once, in ascending order.
std::vector<int> ListedFrames(const std::vector<FrameRange>& ranges);

// Why a 帧 text is refused, as the job editor says it; and as 渲  染 says it of row `row` (1-based).
std::wstring InvalidFramesText(std::wstring_view text);
std::wstring InvalidFramesMessage(std::size_t row, std::wstring_view text);

}  // namespace ravolen
