#pragma once
// Small, real image files of the formats a renderer writes, made in memory: for the tests of the
// rule that judges rendered images and for the stand-in renderer's output. Every pixel is mid
// grey. Header-only, standard library only.

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace imagebytes {
namespace detail {

inline void Put(std::string& out, std::uint64_t value, int bytes, bool bigEndian = false) {
    for (int i = 0; i < bytes; ++i) {
        const int shift = 8 * (bigEndian ? bytes - 1 - i : i);
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

inline std::uint32_t Crc32(std::string_view bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> made{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            made[n] = c;
        }
        return made;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) crc = table[(crc ^ static_cast<unsigned char>(c)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

// A zlib stream of stored (uncompressed) deflate blocks.
inline std::string Zlib(std::string_view raw) {
    std::string out = "\x78\x01";
    std::size_t at = 0;
    do {
        const std::size_t length = std::min<std::size_t>(raw.size() - at, 65535);
        out += static_cast<char>(at + length == raw.size() ? 1 : 0);  // the last block, stored
        Put(out, length, 2);
        Put(out, length ^ 0xFFFF, 2);
        out.append(raw.substr(at, length));
        at += length;
    } while (at < raw.size());
    std::uint32_t a = 1, b = 0;
    for (const char c : raw) {
        a = (a + static_cast<unsigned char>(c)) % 65521;
        b = (b + a) % 65521;
    }
    Put(out, b << 16 | a, 4, true);
    return out;
}

inline std::string PngChunk(std::string_view type, std::string_view data) {
    std::string out;
    Put(out, data.size(), 4, true);
    const std::string body = std::string(type) + std::string(data);
    out += body;
    Put(out, Crc32(body), 4, true);
    return out;
}

}  // namespace detail

// 8-bit RGB.
inline std::string Png(std::uint32_t width, std::uint32_t height) {
    using detail::Put;
    std::string header;
    Put(header, width, 4, true);
    Put(header, height, 4, true);
    header += std::string("\x08\x02\x00\x00\x00", 5);  // depth, RGB, deflate, filters, no interlace
    std::string rows;
    for (std::uint32_t y = 0; y < height; ++y) rows += '\0' + std::string(3 * std::size_t{width}, '\x80');
    return "\x89PNG\r\n\x1A\n" + detail::PngChunk("IHDR", header) +
           detail::PngChunk("IDAT", detail::Zlib(rows)) + detail::PngChunk("IEND", "");
}

// Baseline, one grey component: every block holds only its DC value, 0, coded in two bits by
// Huffman tables of one code each.
inline std::string Jpeg(std::uint16_t width, std::uint16_t height) {
    using detail::Put;
    std::string out("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 20);
    out += std::string("\xFF\xDB\x00\x43\x00", 5) + std::string(64, '\x01');
    // Each table: one code of one bit, for the symbol 0 (DC: no difference; AC: end of block).
    const std::string oneCode = std::string("\x01", 1) + std::string(15, '\0') + std::string(1, '\0');
    out += std::string("\xFF\xC4\x00\x26\x00", 5) + oneCode + '\x10' + oneCode;
    out += std::string("\xFF\xC0\x00\x0B\x08", 5);
    Put(out, height, 2, true);
    Put(out, width, 2, true);
    out += std::string("\x01\x01\x11\x00", 4);
    out += std::string("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00", 10);
    const std::size_t bits = 2 * std::size_t{(width + 7u) / 8} * ((height + 7u) / 8);
    out += std::string((bits + 7) / 8, '\0');
    if (bits % 8 != 0) out.back() = static_cast<char>((1 << (8 - bits % 8)) - 1);  // padded with ones
    return out + "\xFF\xD9";
}

// 24-bit true colour; run-length packets (one per 128 pixels of a row) end with the TGA 2.0
// footer.
inline std::string Targa(std::uint16_t width, std::uint16_t height, bool runLength = false) {
    std::string out(18, '\0');
    out[2] = runLength ? 10 : 2;
    out[12] = static_cast<char>(width & 0xFF);
    out[13] = static_cast<char>(width >> 8);
    out[14] = static_cast<char>(height & 0xFF);
    out[15] = static_cast<char>(height >> 8);
    out[16] = 24;
    if (!runLength) return out + std::string(3 * std::size_t{width} * height, '\x80');
    for (std::uint16_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; x += 128) {
            out += static_cast<char>(0x80 | (std::min<std::uint32_t>(width - x, 128) - 1));
            out += "\x80\x80\x80";
        }
    }
    return out + std::string(8, '\0') + std::string("TRUEVISION-XFILE.\0", 18);
}

// 24-bit, rows from the bottom up.
inline std::string Bmp(std::int32_t width, std::int32_t height) {
    using detail::Put;
    const std::uint32_t stride = (static_cast<std::uint32_t>(width) * 24 + 31) / 32 * 4;
    const std::uint32_t data = stride * static_cast<std::uint32_t>(height);
    std::string out = "BM";
    for (const std::uint32_t value : {54 + data, 0u, 54u, 40u}) Put(out, value, 4);
    Put(out, static_cast<std::uint32_t>(width), 4);
    Put(out, static_cast<std::uint32_t>(height), 4);
    Put(out, 1, 2);
    Put(out, 24, 2);
    for (const std::uint32_t value : {0u, data, 2835u, 2835u, 0u, 0u}) Put(out, value, 4);
    return out + std::string(data, '\x80');
}

struct TiffLayout {
    std::uint32_t rowsPerStrip = 16;
    std::uint32_t tile = 0;  // square tiles of this side (a multiple of 16) instead of strips
    bool bigEndian = false;
    bool directoryLast = false;  // after the pixels, as libtiff writes it
};

// 8-bit grey, uncompressed. The values that do not fit in the directory's entries follow it;
// strip byte counts are SHORT where they fit, the other pieces' numbers LONG.
inline std::string Tiff(std::uint32_t width, std::uint32_t height, TiffLayout layout = {}) {
    using detail::Put;
    const bool big = layout.bigEndian;
    std::vector<std::uint32_t> sizes;
    if (layout.tile > 0) {
        const std::size_t tiles = std::size_t{(width + layout.tile - 1) / layout.tile} *
                                  ((height + layout.tile - 1) / layout.tile);
        sizes.assign(tiles, layout.tile * layout.tile);
    } else {
        for (std::uint32_t y = 0; y < height; y += layout.rowsPerStrip) {
            sizes.push_back(width * std::min(layout.rowsPerStrip, height - y));
        }
    }
    const bool shortSizes = layout.tile == 0 && *std::max_element(sizes.begin(), sizes.end()) <= 0xFFFF;
    struct Entry {
        std::uint16_t tag, type;
        std::vector<std::uint32_t> values;
    };
    std::vector<Entry> entries = {{256, 4, {width}}, {257, 4, {height}}, {258, 3, {8}}, {259, 3, {1}},
                                  {262, 3, {1}}, {277, 3, {1}}, {282, 5, {72, 1}}, {283, 5, {72, 1}},
                                  {296, 3, {2}}};  // 72 dpi
    if (layout.tile > 0) {
        entries.push_back({322, 4, {layout.tile}});
        entries.push_back({323, 4, {layout.tile}});
    } else {
        entries.push_back({278, 4, {layout.rowsPerStrip}});
    }
    const std::uint16_t offsetsTag = layout.tile > 0 ? 324 : 273;
    std::uint32_t pixelBytes = 0;
    std::vector<std::uint32_t> offsets;
    for (const std::uint32_t size : sizes) {
        offsets.push_back(pixelBytes);  // from the first pixel for now
        pixelBytes += size;
    }
    entries.push_back({offsetsTag, 4, offsets});
    entries.push_back({static_cast<std::uint16_t>(offsetsTag + (layout.tile > 0 ? 1 : 6)),
                       static_cast<std::uint16_t>(shortSizes ? 3 : 4), sizes});
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });

    const auto arrayBytes = [](const Entry& e) { return e.values.size() * (e.type == 3 ? 2 : 4); };
    const auto directorySize = static_cast<std::uint32_t>(2 + 12 * entries.size() + 4);
    std::uint32_t arraysSize = 0;
    for (const Entry& e : entries) arraysSize += arrayBytes(e) > 4 ? static_cast<std::uint32_t>(arrayBytes(e)) : 0;
    const std::uint32_t directoryAt = layout.directoryLast ? 8 + pixelBytes : 8;
    const std::uint32_t pixelsAt = layout.directoryLast ? 8 : 8 + directorySize + arraysSize;
    for (Entry& e : entries) {
        if (e.tag != offsetsTag) continue;
        for (std::uint32_t& offset : e.values) offset += pixelsAt;
    }

    std::string directory, arrays;
    Put(directory, entries.size(), 2, big);
    for (const Entry& e : entries) {
        Put(directory, e.tag, 2, big);
        Put(directory, e.type, 2, big);
        Put(directory, e.values.size() / (e.type == 5 ? 2 : 1), 4, big);  // a RATIONAL is two LONGs
        std::string values;
        for (const std::uint32_t value : e.values) Put(values, value, e.type == 3 ? 2 : 4, big);
        if (values.size() <= 4) {
            directory += values + std::string(4 - values.size(), '\0');  // left-justified
        } else {
            Put(directory, directoryAt + directorySize + arrays.size(), 4, big);
            arrays += values;
        }
    }
    Put(directory, 0, 4, big);  // no next directory
    std::string out = big ? std::string("MM\0*", 4) : std::string("II*\0", 4);
    Put(out, directoryAt, 4, big);
    const std::string pixels(pixelBytes, '\x80');
    return layout.directoryLast ? out + pixels + directory + arrays : out + directory + arrays + pixels;
}

struct ExrLayout {
    int compression = 0;    // as the header codes it: 0 none, 3 ZIP, ...
    int linesPerChunk = 1;  // what that compression puts in a chunk
};

// Single-part scan lines, one HALF channel "Y". The chunks hold their lines uncompressed, which is
// how OpenEXR stores a chunk that compression would not make smaller, whatever the compression.
inline std::string Exr(std::uint32_t width, std::uint32_t height, ExrLayout layout = {}) {
    using detail::Put;
    const std::uint32_t lines = static_cast<std::uint32_t>(layout.linesPerChunk);
    const std::uint32_t chunks = (height + lines - 1) / lines;
    std::string out("\x76\x2F\x31\x01\x02\x00\x00\x00", 8);
    const auto attribute = [&out](std::string_view name, std::string_view type, std::string_view value) {
        out += std::string(name) + '\0' + std::string(type) + '\0';
        Put(out, value.size(), 4);
        out += value;
    };
    std::string value = std::string("Y\0", 2);
    for (const std::uint32_t field : {1u, 0u, 1u, 1u}) Put(value, field, 4);  // HALF, linear, sampling
    attribute("channels", "chlist", value + '\0');
    attribute("compression", "compression", std::string(1, static_cast<char>(layout.compression)));
    value.clear();
    for (const std::uint32_t field : {0u, 0u, width - 1, height - 1}) Put(value, field, 4);
    attribute("dataWindow", "box2i", value);
    attribute("displayWindow", "box2i", value);
    attribute("lineOrder", "lineOrder", std::string(1, '\0'));
    value.clear();
    Put(value, 0x3F800000, 4);  // 1.0f
    attribute("pixelAspectRatio", "float", value);
    attribute("screenWindowCenter", "v2f", std::string(8, '\0'));
    attribute("screenWindowWidth", "float", value);
    out += '\0';

    std::uint64_t at = out.size() + 8 * std::uint64_t{chunks};
    std::string chunkData;
    for (std::uint32_t y = 0; y < height; y += lines) {
        Put(out, at, 8);
        const std::uint32_t size = 2 * width * std::min(lines, height - y);
        Put(chunkData, y, 4);
        Put(chunkData, size, 4);
        for (std::uint32_t i = 0; i < size / 2; ++i) chunkData.append("\x00\x38", 2);  // 0.5
        at += 8 + size;
    }
    return out + chunkData;
}

// Flat RGBE scan lines after the resolution line.
inline std::string Hdr(std::uint32_t width, std::uint32_t height) {
    std::string out = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y " + std::to_string(height) + " +X " +
                      std::to_string(width) + "\n";
    return out + std::string(4 * std::size_t{width} * height, '\x80');
}

// The image for an output name's extension (".png", letter case aside); empty for a format not
// made here.
inline std::string ForExtension(std::wstring_view extension, std::uint32_t width, std::uint32_t height) {
    std::string name;
    for (const wchar_t c : extension) name += static_cast<char>(c >= L'A' && c <= L'Z' ? c + 32 : c & 0x7F);
    const auto w16 = static_cast<std::uint16_t>(std::min<std::uint32_t>(width, 0xFFFF));
    const auto h16 = static_cast<std::uint16_t>(std::min<std::uint32_t>(height, 0xFFFF));
    if (name == ".png") return Png(width, height);
    if (name == ".jpg" || name == ".jpe" || name == ".jpeg") return Jpeg(w16, h16);
    if (name == ".tga") return Targa(w16, h16);
    if (name == ".bmp") return Bmp(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    if (name == ".tif" || name == ".tiff") return Tiff(width, height);
    if (name == ".exr") return Exr(width, height);
    if (name == ".hdr" || name == ".pic") return Hdr(width, height);
    return {};
}

}  // namespace imagebytes
