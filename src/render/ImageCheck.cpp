#include "render/ImageCheck.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <utility>

namespace ravolen {
namespace {

using Verdict = ImageVerdict;
using Stop = std::optional<ImageVerdict>;  // a verdict reached before the end of a look

constexpr std::uint64_t Most = std::numeric_limits<std::uint64_t>::max();

// The file's numbers may be anything: sums and products past 2^64 stay there, where no file is.
std::uint64_t Add(std::uint64_t a, std::uint64_t b) { return a > Most - b ? Most : a + b; }
std::uint64_t Multiply(std::uint64_t a, std::uint64_t b) {
    return b != 0 && a > Most / b ? Most : a * b;
}

unsigned Byte(std::string_view bytes, std::size_t at) { return static_cast<unsigned char>(bytes[at]); }
std::uint32_t Le16(std::string_view bytes, std::size_t at) {
    return Byte(bytes, at) | Byte(bytes, at + 1) << 8;
}
std::uint32_t Le32(std::string_view bytes, std::size_t at) {
    return Le16(bytes, at) | Le16(bytes, at + 2) << 16;
}
std::uint64_t Le64(std::string_view bytes, std::size_t at) {
    return Le32(bytes, at) | static_cast<std::uint64_t>(Le32(bytes, at + 4)) << 32;
}
std::uint32_t Be16(std::string_view bytes, std::size_t at) {
    return Byte(bytes, at) << 8 | Byte(bytes, at + 1);
}
std::uint32_t Be32(std::string_view bytes, std::size_t at) {
    return Be16(bytes, at) << 16 | Be16(bytes, at + 2);
}

// True when the bytes a file has could start with the signature (a file shorter than it, too).
bool Like(std::string_view have, std::string_view signature) {
    return have.size() <= signature.size() ? signature.starts_with(have) : have.starts_with(signature);
}

// The byte, or -1 past what the file has.
int ByteOr(std::string_view have, std::size_t at) {
    return at < have.size() ? static_cast<int>(Byte(have, at)) : -1;
}

// The file as judging reads it: inside its end and within the budget.
class Reading {
public:
    explicit Reading(FileReader& file) : file_(file), size_(file.size()) {}

    std::uint64_t size() const { return size_; }
    std::size_t left() const { return left_; }
    bool has(std::uint64_t offset, std::uint64_t length) const {
        return offset <= size_ && length <= size_ - offset;
    }
    // The bytes at `offset`, which the caller knows to lie inside the file; false when they would
    // overrun the budget or could not all be read.
    bool read(std::uint64_t offset, std::size_t length, std::string& bytes) {
        bytes.clear();
        if (length > left_ || !has(offset, length)) return false;
        left_ -= length;
        while (bytes.size() < length) {
            const std::size_t piece = std::min(length - bytes.size(), ImageReadPiece);
            const std::string got = file_.read(offset + bytes.size(), piece);
            if (got.size() < piece) return false;
            bytes.append(got, 0, piece);
        }
        return true;
    }

private:
    FileReader& file_;
    std::uint64_t size_;
    std::size_t left_ = ImageReadBudget;
};

// The start of the file, at least `need` bytes of it and at most `most`: stops at once when what
// the file has does not fit the format, or ends before `need`.
Stop Head(Reading& file, std::size_t need, bool (*fits)(std::string_view), std::string& head,
          std::size_t most = 0) {
    const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(file.size(), std::max(need, most)));
    if (!file.read(0, length, head)) return Verdict::NotChecked;
    if (!fits(head)) return Verdict::NotThatFormat;
    if (head.size() < need) return Verdict::CutShort;
    return std::nullopt;
}

// Complete when the file, past its first `after` bytes, ends with the format's end mark.
Verdict EndsWith(Reading& file, std::uint64_t after, std::string_view mark) {
    std::string tail;
    if (!file.has(after, mark.size())) return Verdict::CutShort;
    if (!file.read(file.size() - mark.size(), mark.size(), tail)) return Verdict::NotChecked;
    return tail == mark ? Verdict::Complete : Verdict::CutShort;
}

void SetSize(ImageCheck& check, std::uint64_t width, std::uint64_t height) {
    check.width = static_cast<std::uint32_t>(width);
    check.height = static_cast<std::uint32_t>(height);
}

constexpr std::string_view PngStart{"\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16};
constexpr std::string_view PngEnd{"\0\0\0\0IEND\xAE\x42\x60\x82", 12};

bool PngFits(std::string_view have) { return Like(have, PngStart); }

// Complete when the last chunk is IEND, which a writer puts last.
Verdict CheckPng(Reading& file, ImageCheck& check) {
    constexpr std::size_t HeaderEnd = 33;  // the signature and IHDR
    std::string head;
    if (const Stop stop = Head(file, HeaderEnd, PngFits, head)) return *stop;
    const std::uint32_t width = Be32(head, 16), height = Be32(head, 20);
    constexpr std::uint32_t Largest = 0x7FFFFFFF;
    if (width == 0 || height == 0 || width > Largest || height > Largest) return Verdict::NotThatFormat;
    SetSize(check, width, height);
    return EndsWith(file, HeaderEnd, PngEnd);
}

bool JpegFits(std::string_view have) { return Like(have, "\xFF\xD8"); }

// The frame header (SOFn) gives the size: the walk to it goes segment by segment, in so many steps
// at most; a file that needs more keeps its size unread but is still judged by its end, EOI.
Verdict CheckJpeg(Reading& file, ImageCheck& check) {
    constexpr int Steps = 128;
    std::string bytes;
    if (const Stop stop = Head(file, 2, JpegFits, bytes)) return *stop;
    std::uint64_t at = 2;
    for (int step = 0; step < Steps; ++step) {
        const auto have = static_cast<std::size_t>(std::min<std::uint64_t>(file.size() - at, 9));
        if (have < 2) return Verdict::CutShort;
        if (!file.read(at, have, bytes)) return Verdict::NotChecked;
        const unsigned marker = Byte(bytes, 1);
        if (Byte(bytes, 0) != 0xFF) return Verdict::NotThatFormat;
        if (marker == 0xFF) {  // a fill byte before the marker
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no segment follows
            at += 2;
            continue;
        }
        // A scan or the end before any frame, or no marker at all.
        if (marker == 0x00 || marker == 0xD8 || marker == 0xD9 || marker == 0xDA) {
            return Verdict::NotThatFormat;
        }
        if (have < 4) return Verdict::CutShort;
        const std::uint32_t length = Be16(bytes, 2);
        if (length < 2) return Verdict::NotThatFormat;
        // C4 (Huffman tables), C8 (reserved) and CC (arithmetic coding) share the range of frames.
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (length < 8) return Verdict::NotThatFormat;
            if (have < 9) return Verdict::CutShort;
            const std::uint32_t height = Be16(bytes, 5), width = Be16(bytes, 7);
            if (width == 0) return Verdict::NotThatFormat;
            if (height > 0) SetSize(check, width, height);  // else the lines are counted after the scan
            break;
        }
        at = Add(at, 2 + length);
        if (at > file.size()) return Verdict::CutShort;
    }
    return EndsWith(file, 2, "\xFF\xD9");
}

// Targa has no signature: what each byte of the header may hold says whether a file is one.
bool TgaFits(std::string_view have) {
    const int map = ByteOr(have, 1), type = ByteOr(have, 2);
    const int mapBits = ByteOr(have, 7), depth = ByteOr(have, 16);
    const bool image = type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
    if (map > 1 || (type >= 0 && !image)) return false;
    if (map == 0 && (type == 1 || type == 9)) return false;  // colour-mapped without a map
    if (map == 1 && mapBits >= 0 && mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32) {
        return false;
    }
    return depth < 0 || depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
}

// Uncompressed: complete when the file holds every pixel. Run-length: the pixels' bytes are not
// known without unpacking them all, but the TGA 2.0 footer, written last, says the writer got to
// the end; a file shorter than the fewest packets the pixels need is cut short either way.
Verdict CheckTga(Reading& file, ImageCheck& check) {
    constexpr std::size_t HeaderSize = 18;
    constexpr std::size_t FooterSize = 26;
    constexpr std::string_view Signature{"TRUEVISION-XFILE.\0", 18};
    std::string head;
    if (const Stop stop = Head(file, HeaderSize, TgaFits, head)) return *stop;
    const std::uint32_t width = Le16(head, 12), height = Le16(head, 14);
    if (width == 0 || height == 0) return Verdict::NotThatFormat;
    SetSize(check, width, height);
    const std::uint64_t mapBytes = Byte(head, 1) == 1 ? Le16(head, 5) * ((Byte(head, 7) + 7) / 8) : 0;
    const std::uint64_t start = HeaderSize + Byte(head, 0) + mapBytes;
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * height;
    const std::uint64_t pixelBytes = (Byte(head, 16) + 7) / 8;
    if (Byte(head, 2) < 9) {
        return file.has(start, pixels * pixelBytes) ? Verdict::Complete : Verdict::CutShort;
    }

    std::string footer;
    bool ended = false;
    if (file.size() >= HeaderSize + FooterSize) {
        if (!file.read(file.size() - FooterSize, FooterSize, footer)) return Verdict::NotChecked;
        ended = footer.ends_with(Signature);
    }
    const std::uint64_t dataEnd = file.size() - (ended ? FooterSize : 0);
    const std::uint64_t fewest = (pixels + 127) / 128 * (1 + pixelBytes);
    if (dataEnd < start || dataEnd - start < fewest) return Verdict::CutShort;
    return ended ? Verdict::Complete : Verdict::NotChecked;
}

bool BmpFits(std::string_view have) { return Like(have, "BM"); }

// Rows are padded to four bytes; compressed pixels are not counted, only that some follow.
Verdict CheckBmp(Reading& file, ImageCheck& check) {
    constexpr std::size_t FileHeader = 14;
    constexpr std::uint32_t CoreHeader = 12, InfoHeader = 40;
    std::string head;
    if (const Stop stop = Head(file, FileHeader + CoreHeader, BmpFits, head, FileHeader + InfoHeader)) {
        return *stop;
    }
    const std::uint32_t dataAt = Le32(head, 10), headerSize = Le32(head, 14);
    std::int64_t width = 0, height = 0;
    std::uint32_t bits = 0, compression = 0;
    if (headerSize == CoreHeader) {
        width = Le16(head, 18);
        height = Le16(head, 20);
        bits = Le16(head, 24);
    } else if (headerSize >= InfoHeader) {
        if (head.size() < FileHeader + InfoHeader) return Verdict::CutShort;
        width = static_cast<std::int32_t>(Le32(head, 18));
        height = static_cast<std::int32_t>(Le32(head, 22));  // below 0: rows from the top down
        bits = Le16(head, 28);
        compression = Le32(head, 30);
    } else {
        return Verdict::NotThatFormat;
    }
    if (dataAt < FileHeader + static_cast<std::uint64_t>(headerSize)) return Verdict::NotThatFormat;
    if (height < 0) height = -height;
    if (width <= 0 || height <= 0 || height > std::numeric_limits<std::int32_t>::max()) {
        return Verdict::NotThatFormat;
    }
    SetSize(check, static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height));
    constexpr std::uint32_t Rgb = 0, BitFields = 3, AlphaBitFields = 6;
    if (compression != Rgb && compression != BitFields && compression != AlphaBitFields) {
        return file.size() > dataAt ? Verdict::NotChecked : Verdict::CutShort;
    }
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return Verdict::NotThatFormat;
    }
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
    const std::uint64_t pixelBytes = Multiply(stride, static_cast<std::uint64_t>(height));
    return file.has(dataAt, pixelBytes) ? Verdict::Complete : Verdict::CutShort;
}

// "II" and 42 in two bytes little-endian, or "MM" and 42 big-endian; 43 for BigTIFF.
bool TiffFits(std::string_view have) {
    const int order = ByteOr(have, 0), again = ByteOr(have, 1), big = order == 'M';
    const int version = ByteOr(have, 2 + big), zero = ByteOr(have, 3 - big);
    return (order == -1 || order == 'I' || order == 'M') && (again == -1 || again == order) &&
           (version == -1 || version == 42 || version == 43) && zero <= 0;
}

// IFD0 only: complete when every strip (or tile) it lists, and every value it holds, end inside the
// file. Writers put the directory and its values after the pixels and point the header at it last.
Verdict CheckTiff(Reading& file, ImageCheck& check) {
    std::string head;
    if (const Stop stop = Head(file, 8, TiffFits, head)) return *stop;
    const bool big = head[0] == 'M';
    const auto u16 = [big](std::string_view in, std::size_t at) { return big ? Be16(in, at) : Le16(in, at); };
    const auto u32 = [big](std::string_view in, std::size_t at) { return big ? Be32(in, at) : Le32(in, at); };
    if (u16(head, 2) == 43) return Verdict::NotChecked;  // BigTIFF
    const std::uint64_t directory = u32(head, 4);
    if (directory == 0) return Verdict::CutShort;  // never pointed at its directory
    std::string bytes;
    if (!file.has(directory, 2)) return Verdict::CutShort;
    if (!file.read(directory, 2, bytes)) return Verdict::NotChecked;
    const std::uint32_t count = u16(bytes, 0);
    if (count == 0) return Verdict::NotThatFormat;
    if (!file.has(directory, 2 + 12 * count + 4)) return Verdict::CutShort;
    std::string entries;
    if (!file.read(directory + 2, 12 * count, entries)) return Verdict::NotChecked;

    struct Field {
        std::uint32_t type = 0;
        std::uint64_t count = 0;
        std::string_view value;  // the four bytes that hold the values, or where they lie
    };
    // The bytes of one value, by type: BYTE (1) to IFD (13).
    constexpr std::array<std::uint64_t, 14> TypeSizes = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    std::optional<Field> widthField, heightField, stripOffsets, stripSizes, tileOffsets, tileSizes;
    bool valuesInside = true;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string_view entry = std::string_view(entries).substr(12 * i, 12);
        const Field field{u16(entry, 2), u32(entry, 4), entry.substr(8)};
        const std::uint64_t length = field.type < TypeSizes.size() ? TypeSizes[field.type] * field.count : 0;
        if (length > 4 && !file.has(u32(field.value, 0), length)) valuesInside = false;
        switch (u16(entry, 0)) {
            case 256: widthField = field; break;
            case 257: heightField = field; break;
            case 273: stripOffsets = field; break;
            case 279: stripSizes = field; break;
            case 324: tileOffsets = field; break;
            case 325: tileSizes = field; break;
            default: break;
        }
    }
    constexpr std::uint32_t Short = 3, Long = 4;
    const auto wide = [](const Field& field) -> std::size_t { return field.type == Short ? 2 : 4; };
    const auto value = [&](const Field& field, std::string_view values, std::size_t i) {
        return field.type == Short ? u16(values, 2 * i) : u32(values, 4 * i);
    };
    const auto number = [&](const std::optional<Field>& field) -> std::uint32_t {
        const bool good = field && (field->type == Short || field->type == Long) && field->count >= 1;
        return good ? value(*field, field->value, 0) : 0;
    };
    const std::uint32_t width = number(widthField), height = number(heightField);
    if (width == 0 || height == 0) return Verdict::NotThatFormat;
    SetSize(check, width, height);
    const bool strips = stripOffsets || stripSizes;
    const std::optional<Field> offsetsField = strips ? stripOffsets : tileOffsets;
    const std::optional<Field> sizesField = strips ? stripSizes : tileSizes;
    if (!offsetsField || !sizesField) return Verdict::NotThatFormat;
    const Field offsets = *offsetsField, sizes = *sizesField;
    for (const Field& field : {offsets, sizes}) {
        if (field.type != Short && field.type != Long) return Verdict::NotThatFormat;
    }
    const std::uint64_t pieces = offsets.count;
    if (pieces == 0 || sizes.count != pieces) return Verdict::NotThatFormat;
    if (!valuesInside) return Verdict::CutShort;

    // Values that fit in the field's four bytes lie there; the others where the field points.
    const auto inside = [&](const Field& field) { return pieces * wide(field) <= 4; };
    if (pieces * (wide(offsets) + wide(sizes)) > file.left()) return Verdict::NotChecked;
    const std::uint64_t step = ImageReadPiece / 4;
    std::string offsetBytes, sizeBytes;
    for (std::uint64_t first = 0; first < pieces; first += step) {
        const std::size_t n = static_cast<std::size_t>(std::min(step, pieces - first));
        const auto load = [&](const Field& field, std::string& values) {
            if (inside(field)) {
                values = field.value;
                return true;
            }
            return file.read(u32(field.value, 0) + first * wide(field), n * wide(field), values);
        };
        if (!load(offsets, offsetBytes) || !load(sizes, sizeBytes)) return Verdict::NotChecked;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint64_t offset = value(offsets, offsetBytes, i), size = value(sizes, sizeBytes, i);
            if (!file.has(offset, size)) return Verdict::CutShort;
        }
    }
    return Verdict::Complete;
}

// Reads on through a header of unknown length, a piece at a time.
class Cursor {
public:
    Cursor(Reading& file, std::uint64_t at) : file_(file), at_(at) {}

    std::uint64_t at() const { return at_; }
    void skip(std::uint64_t length) { at_ = Add(at_, length); }
    // The next `length` bytes.
    Stop take(std::size_t length, std::string& bytes) {
        bytes.clear();
        while (bytes.size() < length) {
            const int byte = next();
            if (byte < 0) return byte == PastEnd ? Verdict::CutShort : Verdict::NotChecked;
            bytes += static_cast<char>(byte);
        }
        return std::nullopt;
    }
    // Text up to its NUL, `longest` bytes at most.
    Stop text(std::size_t longest, std::string& bytes) {
        bytes.clear();
        for (;;) {
            const int byte = next();
            if (byte < 0) return byte == PastEnd ? Verdict::CutShort : Verdict::NotChecked;
            if (byte == 0) return std::nullopt;
            if (bytes.size() == longest) return Verdict::NotThatFormat;
            bytes += static_cast<char>(byte);
        }
    }

private:
    static constexpr int PastEnd = -1, Unread = -2;
    static constexpr std::size_t Piece = 512;

    int next() {
        if (at_ >= file_.size()) return PastEnd;
        if (at_ < pieceAt_ || at_ - pieceAt_ >= piece_.size()) {
            pieceAt_ = at_;
            const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(file_.size() - at_, Piece));
            if (!file_.read(at_, length, piece_)) {
                piece_.clear();
                return Unread;
            }
        }
        return static_cast<int>(Byte(piece_, static_cast<std::size_t>(at_++ - pieceAt_)));
    }

    Reading& file_;
    std::uint64_t at_;
    std::uint64_t pieceAt_ = 0;
    std::string piece_;
};

bool ExrFits(std::string_view have) { return Like(have, "\x76\x2F\x31\x01"); }

// Single-part scan-line files: the offset table after the header lists every chunk; a writer
// fills it in last, so an unfinished file has zeros there, and a file cut later misses the chunk
// that lies furthest. Tiled, deep and multi-part files give their size only.
Verdict CheckExr(Reading& file, ImageCheck& check) {
    constexpr std::uint32_t Tiled = 0x200, LongNames = 0x400, Deep = 0x800, MultiPart = 0x1000;
    // Scan lines in one chunk, by compression: none, RLE, ZIPS, ZIP, PIZ, PXR24, B44, B44A,
    // DWAA, DWAB.
    constexpr std::array<std::uint32_t, 10> Lines = {1, 1, 1, 16, 32, 16, 32, 32, 32, 256};
    std::string bytes;
    if (const Stop stop = Head(file, 8, ExrFits, bytes)) return *stop;
    const std::uint32_t version = Le32(bytes, 4);
    if ((version & 0xFF) != 2 || (version & ~(0xFFu | Tiled | LongNames | Deep | MultiPart)) != 0) {
        return Verdict::NotThatFormat;
    }
    Cursor cursor(file, 8);
    const std::size_t longest = version & LongNames ? 255 : 31;
    std::optional<std::array<std::int32_t, 4>> window;  // xMin, yMin, xMax, yMax
    std::optional<std::uint32_t> compression, chunkCount;
    std::string name, type;
    for (;;) {
        if (const Stop stop = cursor.text(longest, name)) return *stop;
        if (name.empty()) break;
        if (const Stop stop = cursor.text(longest, type)) return *stop;
        if (const Stop stop = cursor.take(4, bytes)) return *stop;
        const auto length = static_cast<std::int32_t>(Le32(bytes, 0));
        if (length < 0) return Verdict::NotThatFormat;
        const auto attribute = [&](std::string_view wantType, std::size_t wantLength) -> Stop {
            if (type != wantType || static_cast<std::size_t>(length) != wantLength) {
                return Verdict::NotThatFormat;
            }
            return cursor.take(wantLength, bytes);
        };
        if (name == "dataWindow") {
            if (const Stop stop = attribute("box2i", 16)) return *stop;
            window.emplace();
            for (std::size_t i = 0; i < 4; ++i) (*window)[i] = static_cast<std::int32_t>(Le32(bytes, 4 * i));
        } else if (name == "compression") {
            if (const Stop stop = attribute("compression", 1)) return *stop;
            compression = Byte(bytes, 0);
        } else if (name == "chunkCount") {
            if (const Stop stop = attribute("int", 4)) return *stop;
            const auto chunks = static_cast<std::int32_t>(Le32(bytes, 0));
            if (chunks <= 0) return Verdict::NotThatFormat;
            chunkCount = static_cast<std::uint32_t>(chunks);
        } else {
            cursor.skip(static_cast<std::uint64_t>(length));
        }
    }
    if (!window || !compression) return Verdict::NotThatFormat;
    const auto [xMin, yMin, xMax, yMax] = *window;
    const std::int64_t width = static_cast<std::int64_t>(xMax) - xMin + 1;
    const std::int64_t height = static_cast<std::int64_t>(yMax) - yMin + 1;
    constexpr std::int64_t Largest = std::numeric_limits<std::uint32_t>::max();
    if (width < 1 || height < 1 || width > Largest || height > Largest) return Verdict::NotThatFormat;
    SetSize(check, static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height));
    if (version & (Tiled | Deep | MultiPart)) return Verdict::NotChecked;

    std::uint64_t chunks = 0;
    if (*compression < Lines.size()) {
        chunks = (static_cast<std::uint64_t>(height) + Lines[*compression] - 1) / Lines[*compression];
        if (chunkCount && *chunkCount != chunks) return Verdict::NotThatFormat;
    } else if (chunkCount) {
        chunks = *chunkCount;  // a compression newer than this program: the header counts them
    } else {
        return Verdict::NotChecked;
    }
    const std::uint64_t tableAt = cursor.at();
    if (!file.has(tableAt, chunks * 8)) return Verdict::CutShort;
    const std::uint64_t tableEnd = tableAt + chunks * 8;
    if (chunks * 8 + 8 > file.left()) return Verdict::NotChecked;
    std::uint64_t last = 0;
    const std::uint64_t step = ImageReadPiece / 8;
    for (std::uint64_t first = 0; first < chunks; first += step) {
        const auto n = static_cast<std::size_t>(std::min(step, chunks - first));
        if (!file.read(tableAt + first * 8, n * 8, bytes)) return Verdict::NotChecked;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint64_t offset = Le64(bytes, 8 * i);
            if (offset == 0) return Verdict::CutShort;  // never filled in
            if (offset < tableEnd) return Verdict::NotThatFormat;
            last = std::max(last, offset);
        }
    }
    // A chunk: the y of its first line, the size of its data, the data.
    if (!file.has(last, 8)) return Verdict::CutShort;
    if (!file.read(last, 8, bytes)) return Verdict::NotChecked;
    const auto y = static_cast<std::int32_t>(Le32(bytes, 0));
    const auto dataSize = static_cast<std::int32_t>(Le32(bytes, 4));
    if (dataSize < 0 || y < yMin || y > yMax) return Verdict::NotThatFormat;
    return file.has(last + 8, static_cast<std::uint64_t>(dataSize)) ? Verdict::Complete
                                                                    : Verdict::CutShort;
}

bool HdrFits(std::string_view have) { return Like(have, "#?RADIANCE") || Like(have, "#?RGBE"); }

// The size only, from the resolution line after the header's blank line ("-Y 1080 +X 1920");
// the pixels are not judged, only that some follow.
Verdict CheckHdr(Reading& file, ImageCheck& check) {
    constexpr std::size_t HeaderMost = 4096;
    std::string text;
    if (const Stop stop = Head(file, 2, HdrFits, text, HeaderMost)) return *stop;
    const std::size_t blank = text.find("\n\n");
    const std::size_t lineEnd = blank == std::string::npos ? blank : text.find('\n', blank + 2);
    if (lineEnd == std::string::npos) {
        return text.size() == file.size() ? Verdict::CutShort : Verdict::NotChecked;
    }
    std::string_view line = std::string_view(text).substr(blank + 2, lineEnd - blank - 2);
    std::uint64_t size[2] = {0, 0};  // by axis: X, Y
    for (int part = 0; part < 2; ++part) {
        const bool axis = line.size() >= 3 && (line[0] == '-' || line[0] == '+') &&
                          (line[1] == 'X' || line[1] == 'Y') && line[2] == ' ';
        if (!axis) return Verdict::NotThatFormat;
        std::uint64_t& number = size[line[1] == 'Y'];
        if (number != 0) return Verdict::NotThatFormat;  // one axis twice
        line.remove_prefix(3);
        std::size_t digits = 0;
        while (digits < line.size() && digits < 10 && line[digits] >= '0' && line[digits] <= '9') {
            number = number * 10 + static_cast<std::uint64_t>(line[digits++] - '0');
        }
        line.remove_prefix(digits);
        if (number == 0 || number > std::numeric_limits<std::uint32_t>::max()) {
            return Verdict::NotThatFormat;
        }
        if (part == 0) {
            if (!line.starts_with(' ')) return Verdict::NotThatFormat;
            line.remove_prefix(1);
        }
    }
    if (!line.empty()) return Verdict::NotThatFormat;
    SetSize(check, size[0], size[1]);
    return file.size() > lineEnd + 1 ? Verdict::NotChecked : Verdict::CutShort;
}

using Checker = Verdict (*)(Reading&, ImageCheck&);

// The checker for the name's extension. A dot in a folder's name leaves a separator in what
// follows it, which no format's extension holds.
Checker CheckerFor(std::wstring_view name) {
    const std::size_t dot = name.find_last_of(L'.');
    if (dot == std::wstring_view::npos) return nullptr;
    std::string extension;
    for (const wchar_t c : name.substr(dot + 1)) {
        if (c > 0x7F || extension.size() > 4) return nullptr;
        extension += static_cast<char>(c >= L'A' && c <= L'Z' ? c + 32 : c);
    }
    static constexpr std::pair<std::string_view, Checker> Formats[] = {
        {"png", CheckPng}, {"jpg", CheckJpeg}, {"jpe", CheckJpeg}, {"jpeg", CheckJpeg},
        {"tga", CheckTga}, {"bmp", CheckBmp},  {"tif", CheckTiff}, {"tiff", CheckTiff},
        {"exr", CheckExr}, {"hdr", CheckHdr},  {"pic", CheckHdr},
    };
    for (const auto& [known, checker] : Formats) {
        if (extension == known) return checker;
    }
    return nullptr;
}

}  // namespace

ImageCheck CheckImage(std::wstring_view name, FileReader& file, int expectedWidth, int expectedHeight) {
    Reading reading(file);
    ImageCheck check;
    if (reading.size() == 0) {
        check.verdict = Verdict::Empty;
        return check;
    }
    const Checker checker = CheckerFor(name);
    if (!checker) return check;
    check.verdict = checker(reading, check);
    // A file cut short or not of its format is that first: its size does not matter.
    const bool judged = check.verdict == Verdict::Complete || check.verdict == Verdict::NotChecked;
    if (judged && expectedWidth > 0 && expectedHeight > 0 && check.width > 0 &&
        (check.width != static_cast<std::uint32_t>(expectedWidth) ||
         check.height != static_cast<std::uint32_t>(expectedHeight))) {
        check.verdict = Verdict::WrongSize;
    }
    return check;
}

}  // namespace ravolen
