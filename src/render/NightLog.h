#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/TextCodec.h"

namespace ravolen {

// The night's log holds what the script's cmd.exe and the renderers printed, byte for byte: cmd's
// echo of each job line in the code page, then the renderer's own words, in the code page or (3ds
// Max 2016 and later) in UTF-16 LE. Code page text never holds a NUL byte; UTF-16 text of the
// messages renderers print does, and its line ends are 0D 00 0A 00.

// One line's text without its line end: UTF-16 LE when the bytes hold a NUL (or begin with its
// byte-order mark), otherwise the code page.
std::wstring DecodeLogLine(std::string_view bytes, const TextCodec& codec);

// Cuts the log into lines as it grows, each in the encoding it was written in, so that a window
// can follow the file by handing over what was added since the last look.
class LogReader {
public:
    explicit LogReader(const TextCodec& codec) : codec_(codec) {}

    // Appends to `lines` each line the bytes complete; an unfinished last line waits for more.
    void add(std::string_view bytes, std::vector<std::wstring>& lines);
    // The unfinished last line, when the log will not grow any more.
    void finish(std::vector<std::wstring>& lines);

private:
    const TextCodec& codec_;
    std::string pending_;
};

// The whole log as lines.
std::vector<std::wstring> DecodeLog(std::string_view bytes, const TextCodec& codec);

}  // namespace ravolen
