#include "platform/CodePageCodec.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace ravolen {
namespace {

// No code page takes more than four bytes for one UTF-16 unit.
constexpr int MaxBytesPerUnit = 4;

std::optional<std::string> Convert(unsigned codePage, std::wstring_view text, DWORD flags) {
    if (text.empty()) return std::string();
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / MaxBytesPerUnit)) {
        return std::nullopt;
    }
    const int length = static_cast<int>(text.size());
    // One call with room for the worst case, rather than one to measure and one to convert.
    std::string bytes(text.size() * MaxBytesPerUnit, '\0');
    const int capacity = static_cast<int>(bytes.size());
    int size = WideCharToMultiByte(codePage, flags, text.data(), length, bytes.data(), capacity,
                                   nullptr, nullptr);
    if (size == 0 && flags != 0 && GetLastError() == ERROR_INVALID_FLAGS) {
        // UTF-8 and GB18030 refuse the flag; they have no best-fit mappings anyway.
        size = WideCharToMultiByte(codePage, 0, text.data(), length, bytes.data(), capacity,
                                   nullptr, nullptr);
    }
    if (size <= 0) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(size));
    return bytes;
}

// UTF-7, UTF-8 and GB18030 take no default character: every character has a form, or none.
bool HasNoDefaultCharacter(unsigned codePage) {
    return codePage == CP_UTF7 || codePage == CP_UTF8 || codePage == 54936;
}

bool IsAscii(std::wstring_view text) {
    return std::all_of(text.begin(), text.end(), [](wchar_t c) { return c < 0x80; });
}

}  // namespace

CodePageCodec::CodePageCodec(unsigned codePage)
    : codePage_(codePage), byUnit_(!HasNoDefaultCharacter(codePage)) {
    std::wstring ascii;
    for (wchar_t c = 1; c < 0x80; ++c) ascii += c;
    const auto bytes = ReadsBack(codePage, ascii);  // not by unit: no table for what is known
    asciiAsIs_ = bytes && std::equal(bytes->begin(), bytes->end(), ascii.begin(), ascii.end(),
                                     [](char b, wchar_t c) { return static_cast<wchar_t>(b) == c; });
}

std::optional<std::string> CodePageCodec::encode(std::wstring_view text) const {
    std::string bytes;
    if (!encodeInto(text, bytes)) return std::nullopt;
    return bytes;
}

bool CodePageCodec::encodeInto(std::wstring_view text, std::string& bytes) const {
    const std::size_t start = bytes.size();
    if (byUnit_) {
        // Written in place, at most two bytes a unit: a script's text runs to millions of units,
        // most of them ASCII, taken four at a time where the code page writes them as they are.
        static_assert(sizeof(wchar_t) == 2);
        bytes.resize(start + text.size() * 2);
        char* out = bytes.data() + start;
        const wchar_t* at = text.data();
        const wchar_t* const end = at + text.size();
        while (at != end) {
            if (asciiAsIs_) {
                for (std::uint64_t four; end - at >= 4; at += 4, out += 4) {
                    std::memcpy(&four, at, sizeof four);
                    if (four & 0xFF80FF80FF80FF80ull) break;
                    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(at[i]);
                }
                if (at == end) break;
                if (*at < 0x80) {
                    *out++ = static_cast<char>(*at++);
                    continue;
                }
            }
            const Unit& known = unit(*at++);
            if (!byUnit_) break;  // a character of more than two bytes: the whole text at once
            if (known.known != 1) {
                bytes.resize(start);
                return false;
            }
            *out++ = known.bytes[0];
            if (known.length == 2) *out++ = known.bytes[1];
        }
        if (byUnit_) {
            bytes.resize(static_cast<std::size_t>(out - bytes.data()));
            return true;
        }
        bytes.resize(start);
    }
    if (asciiAsIs_ && IsAscii(text)) {
        bytes.append(text.begin(), text.end());
        return true;
    }
    const std::optional<std::string> exact = ReadsBack(codePage_, text);
    if (!exact) return false;
    bytes += *exact;
    return true;
}

const CodePageCodec::Unit& CodePageCodec::learn(wchar_t c) const {
    auto& block = blocks_[static_cast<std::size_t>(c) >> 8];
    if (!block) block = std::make_unique<std::array<Unit, 256>>();
    Unit& known = (*block)[static_cast<std::size_t>(c) & 0xFF];
    const auto bytes = ReadsBack(codePage_, std::wstring_view(&c, 1));
    if (bytes && bytes->size() > sizeof known.bytes) {
        byUnit_ = false;
        return known;
    }
    known.known = bytes ? 1 : 2;
    if (bytes) {
        known.length = static_cast<unsigned char>(bytes->size());
        std::copy(bytes->begin(), bytes->end(), known.bytes);
    }
    return known;
}

std::optional<std::string> CodePageCodec::ReadsBack(unsigned codePage, std::wstring_view text) {
    auto bytes = Convert(codePage, text, WC_NO_BEST_FIT_CHARS);
    if (!bytes || bytes->empty()) return bytes;
    // Exact means the bytes read back as the same text.
    const int size = static_cast<int>(bytes->size());
    std::wstring back(text.size() + 1, L'\0');  // one more, to see a longer reading
    const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes->data(), size,
                                           back.data(), static_cast<int>(back.size()));
    if (length <= 0 || static_cast<std::size_t>(length) != text.size()) return std::nullopt;
    back.resize(static_cast<std::size_t>(length));
    if (back != text) return std::nullopt;
    return bytes;
}

std::string CodePageCodec::encodeLossy(std::wstring_view text) const {
    std::string bytes;
    for (wchar_t c : text) {
        bytes += encode(std::wstring_view(&c, 1)).value_or("?");
    }
    return bytes;
}

std::wstring CodePageCodec::decode(std::string_view bytes) const {
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return {};
    }
    std::wstring text(bytes.size(), L'\0');  // never more units than bytes
    const int units = MultiByteToWideChar(codePage_, 0, bytes.data(), static_cast<int>(bytes.size()),
                                          text.data(), static_cast<int>(text.size()));
    text.resize(units > 0 ? static_cast<std::size_t>(units) : 0);
    return text;
}

}  // namespace ravolen
