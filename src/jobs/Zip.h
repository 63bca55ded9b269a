#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ravolen::zip {

// Unpacked, the parts of one package may not exceed this, whatever their headers claim.
inline constexpr std::size_t MaxUnpackedBytes = 64u * 1024 * 1024;

// One file of a package to write.
struct Part {
    std::string name;  // "xl/workbook.xml"
    std::string bytes;
};

// A zip package of the parts, each deflated, sizes and CRC-32 in its local header.
std::string Write(std::span<const Part> parts);

// A package read from its central directory; parts are unpacked on demand, within one budget.
class Package {
public:
    struct Entry {
        std::string name;
        std::uint16_t flags = 0;
        std::uint16_t method = 0;
        std::uint32_t crc = 0;
        std::uint32_t packedSize = 0;
        std::uint32_t size = 0;
        std::uint32_t localOffset = 0;
    };

    // The package, or why the bytes are not one (a Chinese sentence).
    static std::variant<Package, std::wstring> Open(std::string_view bytes);

    // Whether a part of that name is there (names compare without regard to ASCII case).
    bool has(std::string_view name) const { return find(name) != nullptr; }
    // The unpacked part, or why it cannot be read.
    std::variant<std::string, std::wstring> read(std::string_view name);

private:
    const Entry* find(std::string_view name) const;

    std::string_view bytes_;
    std::vector<Entry> entries_;
    std::size_t budget_ = MaxUnpackedBytes;
};

}  // namespace ravolen::zip
