#include "jobs/Zip.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace ravolen::zip {
namespace {

constexpr std::uint32_t LocalSignature = 0x04034b50;
constexpr std::uint32_t CentralSignature = 0x02014b50;
constexpr std::uint32_t EndSignature = 0x06054b50;
constexpr std::size_t LocalHeaderSize = 30;
constexpr std::size_t CentralHeaderSize = 46;
constexpr std::size_t EndRecordSize = 22;
constexpr std::size_t MaxEntries = 4096;  // a workbook has a dozen
constexpr std::uint16_t Deflated = 8;
constexpr std::uint16_t Stored = 0;
constexpr std::uint16_t VersionNeeded = 20;
constexpr std::uint16_t DosDate = (0 << 9) | (1 << 5) | 1;  // 1980-01-01: the same bytes every save

void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

std::uint32_t Get16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
}

std::uint32_t Get32(std::string_view bytes, std::size_t at) {
    return Get16(bytes, at) | Get16(bytes, at + 2) << 16;
}

std::uint32_t Crc32(std::string_view bytes) {
    uLong crc = crc32(0L, Z_NULL, 0);
    while (!bytes.empty()) {
        const auto chunk = static_cast<uInt>(std::min<std::size_t>(bytes.size(), 1u << 30));
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), chunk);
        bytes.remove_prefix(chunk);
    }
    return static_cast<std::uint32_t>(crc);
}

// Raw deflate (no zlib header), as zip keeps it; the stored bytes when deflate fails.
bool Deflate(std::string_view in, std::string& out) {
    z_stream stream{};
    // The fastest level: XML text packs well even so, and a save should not keep the user waiting.
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        return false;
    }
    out.resize(deflateBound(&stream, static_cast<uLong>(in.size())));
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    stream.avail_in = static_cast<uInt>(in.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return result == Z_STREAM_END;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

}  // namespace

std::string Write(std::span<const Part> parts) {
    std::string out, central;
    for (const Part& part : parts) {
        std::string packed;
        std::uint16_t method = Deflated;
        if (!Deflate(part.bytes, packed) || packed.size() >= part.bytes.size()) {
            packed = part.bytes;
            method = Stored;
        }
        const auto offset = static_cast<std::uint32_t>(out.size());
        const std::uint32_t crc = Crc32(part.bytes);
        const auto header = [&](std::string& to, bool local) {
            Put32(to, local ? LocalSignature : CentralSignature);
            if (!local) Put16(to, VersionNeeded);  // made by: MS-DOS attributes
            Put16(to, VersionNeeded);
            Put16(to, 0);  // flags: sizes here, no data descriptor
            Put16(to, method);
            Put16(to, 0);  // time
            Put16(to, DosDate);
            Put32(to, crc);
            Put32(to, static_cast<std::uint32_t>(packed.size()));
            Put32(to, static_cast<std::uint32_t>(part.bytes.size()));
            Put16(to, static_cast<std::uint32_t>(part.name.size()));
            Put16(to, 0);  // extra field
            if (!local) {
                Put16(to, 0);  // comment
                Put16(to, 0);  // disk
                Put16(to, 0);  // internal attributes
                Put32(to, 0);  // external attributes
                Put32(to, offset);
            }
            to += part.name;
        };
        header(out, true);
        out += packed;
        header(central, false);
    }
    const auto centralOffset = static_cast<std::uint32_t>(out.size());
    out += central;
    Put32(out, EndSignature);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<std::uint32_t>(parts.size()));
    Put16(out, static_cast<std::uint32_t>(parts.size()));
    Put32(out, static_cast<std::uint32_t>(central.size()));
    Put32(out, centralOffset);
    Put16(out, 0);
    return out;
}

std::variant<Package, std::wstring> Package::Open(std::string_view bytes) {
    const std::wstring damaged = L"不是有效的xlsx工作簿，压缩包已损坏";
    if (bytes.size() < EndRecordSize) return damaged;
    // The end record sits in the last 22 bytes plus at most a 64 KB comment.
    std::size_t end = std::string_view::npos;
    const std::size_t lowest = bytes.size() > EndRecordSize + 0xFFFF ? bytes.size() - EndRecordSize - 0xFFFF : 0;
    for (std::size_t at = bytes.size() - EndRecordSize + 1; at-- > lowest;) {
        if (Get32(bytes, at) == EndSignature) {
            end = at;
            break;
        }
    }
    if (end == std::string_view::npos) return damaged;
    const std::uint32_t count = Get16(bytes, end + 10);
    const std::uint32_t centralSize = Get32(bytes, end + 12);
    const std::uint32_t centralOffset = Get32(bytes, end + 16);
    if (Get16(bytes, end + 4) != 0 || Get16(bytes, end + 6) != 0) return L"不支持分卷压缩的工作簿";
    if (count == 0xFFFF || centralOffset == 0xFFFFFFFF) return L"不支持ZIP64格式的工作簿";
    if (count > MaxEntries) return damaged;
    if (centralOffset > end || centralSize > end - centralOffset) return damaged;

    Package package;
    package.bytes_ = bytes;
    std::size_t at = centralOffset;
    const std::size_t centralEnd = centralOffset + centralSize;
    std::size_t total = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (centralEnd - at < CentralHeaderSize || Get32(bytes, at) != CentralSignature) return damaged;
        Entry entry;
        entry.flags = static_cast<std::uint16_t>(Get16(bytes, at + 8));
        entry.method = static_cast<std::uint16_t>(Get16(bytes, at + 10));
        entry.crc = Get32(bytes, at + 16);
        entry.packedSize = Get32(bytes, at + 20);
        entry.size = Get32(bytes, at + 24);
        const std::size_t nameLength = Get16(bytes, at + 28);
        const std::size_t extraLength = Get16(bytes, at + 30);
        const std::size_t commentLength = Get16(bytes, at + 32);
        entry.localOffset = Get32(bytes, at + 42);
        const std::size_t length = CentralHeaderSize + nameLength + extraLength + commentLength;
        if (centralEnd - at < length) return damaged;
        entry.name = std::string(bytes.substr(at + CentralHeaderSize, nameLength));
        at += length;
        if (entry.size == 0xFFFFFFFF || entry.packedSize == 0xFFFFFFFF || entry.localOffset == 0xFFFFFFFF) {
            return L"不支持ZIP64格式的工作簿";
        }
        total += entry.size;
        if (total > MaxUnpackedBytes) return L"工作簿解压后超过64MB";
        package.entries_.push_back(std::move(entry));
    }
    return package;
}

const Package::Entry* Package::find(std::string_view name) const {
    for (const Entry& entry : entries_) {
        if (SameName(entry.name, name)) return &entry;
    }
    return nullptr;
}

std::variant<std::string, std::wstring> Package::read(std::string_view name) {
    const Entry* entry = find(name);
    const std::wstring part = L"工作簿中的" + std::wstring(name.begin(), name.end());
    if (!entry) return L"不是有效的xlsx工作簿，缺少" + std::wstring(name.begin(), name.end());
    if (entry->flags & 1) return part + L"已加密";
    if (entry->method != Stored && entry->method != Deflated) return part + L"的压缩方式不受支持";
    const std::wstring damaged = part + L"已损坏";
    // The local header's sizes may be zero when a data descriptor follows the data: the central
    // directory's are the ones to trust.
    const std::size_t local = entry->localOffset;
    if (local > bytes_.size() || bytes_.size() - local < LocalHeaderSize ||
        Get32(bytes_, local) != LocalSignature) {
        return damaged;
    }
    const std::size_t start = local + LocalHeaderSize + Get16(bytes_, local + 26) + Get16(bytes_, local + 28);
    if (start > bytes_.size() || bytes_.size() - start < entry->packedSize) return damaged;
    const std::string_view packed = bytes_.substr(start, entry->packedSize);
    if (entry->size > budget_) return L"工作簿解压后超过64MB";
    budget_ -= entry->size;

    std::string out;
    if (entry->method == Stored) {
        if (entry->packedSize != entry->size) return damaged;
        out = std::string(packed);
    } else {
        // Grown as the data really inflates, never past the stated size: a header that lies
        // about a small part's size costs nothing.
        z_stream stream{};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return damaged;
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
        stream.avail_in = static_cast<uInt>(packed.size());
        constexpr std::size_t Chunk = 256 * 1024;
        int result = Z_OK;
        unsigned char probe = 0;
        while (result == Z_OK) {  // zlib answers Z_OK only when it moved on
            const std::size_t done = out.size();
            const bool full = done == entry->size;
            if (!full) out.resize(done + std::min<std::size_t>(Chunk, entry->size - done));
            // Once full, one byte more is asked for: getting it means the part is larger than stated.
            stream.next_out = full ? &probe : reinterpret_cast<Bytef*>(out.data() + done);
            stream.avail_out = full ? 1u : static_cast<uInt>(out.size() - done);
            result = inflate(&stream, Z_NO_FLUSH);
            if (full && stream.avail_out == 0) {
                inflateEnd(&stream);
                return part + L"解压后超出声明的大小";
            }
            if (!full) out.resize(out.size() - stream.avail_out);
        }
        const uLong produced = stream.total_out;
        inflateEnd(&stream);
        if (result != Z_STREAM_END || produced != entry->size) return damaged;
    }
    if (Crc32(out) != entry->crc) return part + L"校验和不符";
    return out;
}

}  // namespace ravolen::zip
