#include "platform/CodePageCodec.h"

#include <windows.h>

#include <limits>

namespace ravolen {
namespace {

std::optional<std::string> Convert(unsigned codePage, std::wstring_view text, DWORD flags) {
    if (text.empty()) return std::string();
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / 4)) {
        return std::nullopt;
    }
    const int length = static_cast<int>(text.size());
    int size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size == 0 && flags != 0 && GetLastError() == ERROR_INVALID_FLAGS) {
        flags = 0;  // UTF-8 and GB18030 refuse the flag; they have no best-fit mappings anyway
        size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    }
    if (size <= 0) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(codePage, flags, text.data(), length, bytes.data(), size, nullptr,
                            nullptr) != size) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

std::optional<std::string> CodePageCodec::encode(std::wstring_view text) const {
    auto bytes = Convert(codePage_, text, WC_NO_BEST_FIT_CHARS);
    if (!bytes || bytes->empty()) return bytes;
    // Exact means the bytes read back as the same text: this catches the default character and
    // any mapping the flag does not forbid, in every code page alike.
    const int size = static_cast<int>(bytes->size());
    const int length =
        MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, bytes->data(), size, nullptr, 0);
    if (length <= 0 || static_cast<std::size_t>(length) != text.size()) return std::nullopt;
    std::wstring back(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, bytes->data(), size, back.data(), length);
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

}  // namespace ravolen
