#include "render/NightLog.h"

#include <algorithm>
#include <optional>

namespace ravolen {
namespace {

constexpr std::string_view Utf16Mark = "\xFF\xFE";

// No line of a log is longer than this; a line end is looked for no further.
constexpr std::size_t LongestLine = 1 << 16;

// The offset of the first UTF-16 line feed (0A 00 at an even offset) before `limit`.
std::size_t WideFeed(std::string_view bytes, std::size_t limit) {
    limit = std::min({limit, bytes.size(), LongestLine});
    for (std::size_t i = 0; i + 1 < limit; i += 2) {
        if (bytes[i] == '\n' && bytes[i + 1] == '\0') return i;
    }
    return std::string_view::npos;
}

// The bytes of the first line, its end included; nothing while its end may not have arrived
// (`final`: no more will). cmd and the renderers end their lines with CR LF, in the code page
// (0D 0A) or in UTF-16 (0D 00 0A 00, at an even offset); whichever comes first decides. A UTF-16
// character can hold a 0A or 0D byte ("上" is 0A 4E), but a UTF-16 line then also holds a NUL
// before its CR LF, or a UTF-16 line end follows, which code page text never has.
std::optional<std::size_t> LineLength(std::string_view bytes, bool final) {
    const std::size_t feed = bytes.find('\n');
    const bool nulBeforeFeed = bytes.substr(0, feed).find('\0') != std::string_view::npos;
    const bool narrowEnd = feed != std::string_view::npos && feed >= 1 && bytes[feed - 1] == '\r' &&
                           !nulBeforeFeed;
    // Past a code page line's end there is no need to look, and looking would make a long log
    // cost the square of its length.
    const std::size_t wideFeed = WideFeed(bytes, narrowEnd ? feed + 2 : bytes.size());
    const bool wideEnd = wideFeed != std::string_view::npos && wideFeed >= 2 &&
                         bytes[wideFeed - 2] == '\r' && bytes[wideFeed - 1] == '\0';
    if (narrowEnd && (!wideEnd || feed < wideFeed)) return feed + 1;
    if (wideFeed != std::string_view::npos) return wideFeed + 2;
    if (feed == std::string_view::npos || nulBeforeFeed) return std::nullopt;
    // A code page line feed without its carriage return: taken once the code page text goes on
    // with a whole line, so that the first bytes of a UTF-16 line are not taken for it.
    const std::size_t next = bytes.find("\r\n", feed + 1);
    if (final || (next != std::string_view::npos &&
                  bytes.substr(feed + 1, next - feed - 1).find('\0') == std::string_view::npos)) {
        return feed + 1;
    }
    if (bytes.size() > LongestLine) return feed + 1;
    return std::nullopt;
}

std::wstring DecodeUtf16(std::string_view bytes) {
    std::wstring text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                     static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    if (text.starts_with(L'\xFEFF')) text.erase(0, 1);
    return text;
}

template <typename Text>
void DropLineEnd(Text& text) {
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
}

}  // namespace

std::wstring DecodeLogLine(std::string_view bytes, const TextCodec& codec) {
    if (bytes.starts_with(Utf16Mark) || bytes.find('\0') != std::string_view::npos) {
        std::wstring text = DecodeUtf16(bytes);
        std::wstring_view view = text;
        DropLineEnd(view);
        return std::wstring(view);
    }
    DropLineEnd(bytes);
    return codec.decode(bytes);
}

void LogReader::add(std::string_view bytes, std::vector<std::wstring>& lines) {
    pending_.append(bytes);
    std::string_view rest = pending_;
    while (const auto length = LineLength(rest, false)) {
        lines.push_back(DecodeLogLine(rest.substr(0, *length), codec_));
        rest.remove_prefix(*length);
    }
    pending_.erase(0, pending_.size() - rest.size());
}

void LogReader::finish(std::vector<std::wstring>& lines) {
    std::string_view rest = pending_;
    while (!rest.empty()) {
        const std::size_t length = LineLength(rest, true).value_or(rest.size());
        lines.push_back(DecodeLogLine(rest.substr(0, length), codec_));
        rest.remove_prefix(length);
    }
    pending_.clear();
}

std::vector<std::wstring> DecodeLog(std::string_view bytes, const TextCodec& codec) {
    std::vector<std::wstring> lines;
    LogReader reader(codec);
    reader.add(bytes, lines);
    reader.finish(lines);
    return lines;
}

}  // namespace ravolen
