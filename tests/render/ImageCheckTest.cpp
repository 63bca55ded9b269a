#include "render/ImageCheck.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ImageBytes.h"

namespace ravolen {
namespace {

using imagebytes::Bmp;
using imagebytes::Exr;
using imagebytes::Hdr;
using imagebytes::Jpeg;
using imagebytes::Png;
using imagebytes::Targa;
using imagebytes::Tiff;
using V = ImageVerdict;

}  // namespace

void PrintTo(const ImageCheck& check, std::ostream* out) {
    constexpr const char* Verdicts[] = {"Complete", "Empty", "CutShort", "NotThatFormat", "WrongSize", "NotChecked"};
    *out << Verdicts[static_cast<int>(check.verdict)] << " " << check.width << "x" << check.height;
}

namespace {

// A file in memory that counts what it hands out, notes any read past its end or larger than a
// piece, and fails every read once `failAfter` bytes are out.
class MemoryFile : public FileReader {
public:
    explicit MemoryFile(std::string bytes, std::size_t failAfter = SIZE_MAX)
        : bytes_(std::move(bytes)), failAfter_(failAfter) {}

    std::uint64_t size() const override { return bytes_.size(); }
    std::string read(std::uint64_t offset, std::size_t length) override {
        pastEnd = pastEnd || offset > bytes_.size() || length > bytes_.size() - offset;
        tooLarge = tooLarge || length > ImageReadPiece;
        if (offset >= bytes_.size() || handedOut >= failAfter_) return {};
        std::string piece = bytes_.substr(static_cast<std::size_t>(offset), length);
        handedOut += piece.size();
        return piece;
    }

    std::size_t handedOut = 0;
    bool pastEnd = false;
    bool tooLarge = false;

private:
    std::string bytes_;
    std::size_t failAfter_;
};

// Every look goes through here: inside the file, within the budget, in pieces.
ImageCheck Check(std::wstring_view name, std::string bytes, int width = 0, int height = 0,
                 std::size_t failAfter = SIZE_MAX) {
    MemoryFile file(std::move(bytes), failAfter);
    const ImageCheck check = CheckImage(name, file, width, height);
    EXPECT_LE(file.handedOut, ImageReadBudget);
    EXPECT_FALSE(file.pastEnd);
    EXPECT_FALSE(file.tooLarge);
    return check;
}

std::string Patched(std::string bytes, std::size_t at, std::string_view with) {
    return bytes.replace(at, with.size(), with);
}
std::string Le(std::uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}
std::uint64_t LeAt(std::string_view bytes, std::size_t at, int length) {
    std::uint64_t value = 0;
    for (int i = length; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

struct Sample {
    std::string_view format;
    std::wstring_view name;
    std::string bytes;
    std::uint32_t width, height;
    ImageVerdict whole = V::Complete;
    // Shorter files from this length on are not judged, below it cut short; 0: all cut short.
    std::size_t judgedFrom = 0;
};

std::vector<Sample> Samples() {
    const std::string hdr = Hdr(4, 3);
    return {
        {"png", L"D:\\out\\lobby0001.PNG", Png(5, 3), 5, 3},
        {"jpeg", L"lobby.jpg", Jpeg(17, 9), 17, 9},
        {"jpeg", L"lobby.JPEG", Jpeg(8, 16), 8, 16},
        {"tga", L"lobby.tga", Targa(3, 2), 3, 2},
        // One run a row: the fewest bytes so many pixels take, before the footer.
        {"tga", L"lobby.Tga", Targa(128, 3, true), 128, 3, V::Complete, 18 + 3 * 4},
        {"bmp", L"lobby.bmp", Bmp(3, 2), 3, 2},  // rows of 9 bytes padded to 12
        {"tiff", L"lobby.tif", Tiff(5, 7, {.rowsPerStrip = 2}), 5, 7},
        // One strip, which its entries hold; the directory after it, as libtiff writes it, and the
        // directory's values end the file.
        {"tiff", L"lobby.tiff", Tiff(5, 3, {.rowsPerStrip = 8, .directoryLast = true}), 5, 3},
        {"tiff", L"lobby.TIF", Tiff(20, 18, {.tile = 16, .bigEndian = true, .directoryLast = true}), 20, 18},
        {"exr", L"lobby.exr", Exr(4, 3), 4, 3},
        {"exr", L"lobby.EXR", Exr(4, 40, {.compression = 3, .linesPerChunk = 16}), 4, 40},
        {"hdr", L"lobby.hdr", hdr, 4, 3, V::NotChecked, hdr.find("+X 4\n") + 6},
    };
}

TEST(ImageCheck, AWholeImageIsCompleteAndEveryShorterFileCutShort) {
    for (const Sample& sample : Samples()) {
        SCOPED_TRACE(std::wstring(sample.name));
        const int width = static_cast<int>(sample.width), height = static_cast<int>(sample.height);
        const ImageCheck whole{sample.whole, sample.width, sample.height};
        EXPECT_EQ(Check(sample.name, sample.bytes), whole);
        EXPECT_EQ(Check(sample.name, sample.bytes, width, height), whole);
        EXPECT_EQ(Check(sample.name, "", width + 1, height), (ImageCheck{V::Empty}));

        // The size compares only when the row gives both, and a cut file is cut short whatever
        // its size; one not judged still tells a wrong size.
        const ImageCheck wrong{V::WrongSize, sample.width, sample.height};
        EXPECT_EQ(Check(sample.name, sample.bytes, width + 1, height), wrong);
        EXPECT_EQ(Check(sample.name, sample.bytes, width, height - 1), wrong);
        EXPECT_EQ(Check(sample.name, sample.bytes, height, width), wrong);
        EXPECT_EQ(Check(sample.name, sample.bytes, width + 1, 0), whole);
        EXPECT_EQ(Check(sample.name, sample.bytes, -1, height + 1), whole);

        for (std::size_t length = 1; length < sample.bytes.size(); ++length) {
            const std::string cut = sample.bytes.substr(0, length);
            const bool judged = sample.judgedFrom > 0 && length >= sample.judgedFrom;
            const ImageCheck check = Check(sample.name, cut);
            EXPECT_EQ(check.verdict, judged ? V::NotChecked : V::CutShort) << length;
            EXPECT_EQ(Check(sample.name, cut, width + 1, height).verdict, judged ? V::WrongSize : V::CutShort)
                << length;
            // The size is told once the header is whole, and then truly.
            const ImageCheck told{check.verdict, sample.width, sample.height};
            EXPECT_TRUE(check == ImageCheck{check.verdict} || check == told) << length;
        }
    }
}

TEST(ImageCheck, TheNameSaysTheFormatAndAnotherFormatsBytesAreNotIt) {
    const std::vector<Sample> samples = Samples();
    for (const Sample& sample : samples) {
        for (const Sample& other : samples) {
            if (other.format == sample.format) continue;
            EXPECT_EQ(Check(sample.name, other.bytes, 1, 1), (ImageCheck{V::NotThatFormat}))
                << std::string(other.format) << " as " << std::string(sample.format);
        }
        for (const std::wstring_view unknown : {L"lobby.rla", L"lobby", L"PNG", L"D:\\out.png\\lobby", L""}) {
            EXPECT_EQ(Check(unknown, sample.bytes, 1, 1), (ImageCheck{V::NotChecked}));
            EXPECT_EQ(Check(unknown, ""), (ImageCheck{V::Empty}));
        }
    }
    EXPECT_EQ(Check(L".png", Png(5, 3)), (ImageCheck{V::Complete, 5, 3}));
    EXPECT_EQ(Check(L"a.b.Jpe", Jpeg(5, 3)), (ImageCheck{V::Complete, 5, 3}));
    EXPECT_EQ(Check(L"D:/out/lobby.pic", Hdr(5, 3)), (ImageCheck{V::NotChecked, 5, 3}));
}

// A Targa header and that many bytes after it.
std::string TargaFile(int idLength, int map, int type, int mapLength, int mapBits, int width, int height,
                      int depth, std::size_t after) {
    std::string out = Le(static_cast<unsigned>(idLength), 1) + Le(static_cast<unsigned>(map), 1) +
                      Le(static_cast<unsigned>(type), 1) + Le(0, 2) + Le(static_cast<unsigned>(mapLength), 2) +
                      Le(static_cast<unsigned>(mapBits), 1) + Le(0, 4) + Le(static_cast<unsigned>(width), 2) +
                      Le(static_cast<unsigned>(height), 2) + Le(static_cast<unsigned>(depth), 1) + Le(0, 1);
    return out + std::string(after, '\0');
}

// A BMP header (12 or 40 bytes and more) whose pixels start at `dataAt`, `length` bytes in all.
std::string BmpFile(std::uint32_t headerSize, std::int64_t width, std::int64_t height, int bits,
                    std::uint32_t compression, std::uint32_t dataAt, std::size_t length) {
    std::string out = "BM" + Le(length, 4) + Le(0, 4) + Le(dataAt, 4) + Le(headerSize, 4);
    if (headerSize == 12) {
        out += Le(static_cast<std::uint64_t>(width), 2) + Le(static_cast<std::uint64_t>(height), 2) + Le(1, 2) +
               Le(static_cast<unsigned>(bits), 2);
    } else {
        out += Le(static_cast<std::uint64_t>(width), 4) + Le(static_cast<std::uint64_t>(height), 4) + Le(1, 2) +
               Le(static_cast<unsigned>(bits), 2) + Le(compression, 4);
    }
    out.resize(length, '\0');
    return out;
}

// Where an OpenEXR file of Exr()'s making ends its header; its offset table follows.
std::size_t ExrHeaderEnd(std::string_view exr) {
    return exr.find(std::string_view("screenWindowWidth\0float\0", 24)) + 24 + 4 + 4;
}

std::string Attribute(std::string_view name, std::string_view type, std::string_view value) {
    return std::string(name) + '\0' + std::string(type) + '\0' + Le(value.size(), 4) + std::string(value);
}

// The file with more attributes at the end of its header, its chunks' offsets moved past them.
std::string WithAttributes(std::string exr, std::size_t chunks, const std::string& attributes) {
    const std::size_t end = ExrHeaderEnd(exr);
    exr.insert(end, attributes);
    for (std::size_t i = 0; i < chunks; ++i) {
        const std::size_t at = end + attributes.size() + 1 + 8 * i;
        exr = Patched(exr, at, Le(LeAt(exr, at, 8) + attributes.size(), 8));
    }
    return exr;
}

TEST(ImageCheck, EachFormatsRulesAtTheirEdges) {
    struct Case {
        const char* what;
        std::wstring_view name;
        std::string bytes;
        ImageCheck want;
    };
    const std::string png = Png(5, 3);
    const std::string jpeg = Jpeg(17, 9);
    const std::size_t frame = jpeg.find("\xFF\xC0");
    const std::string tiff = Tiff(5, 7, {.rowsPerStrip = 2});
    const std::size_t stripOffsets = static_cast<std::size_t>(LeAt(tiff, 10 + 12 * 5 + 8, 4));  // tag 273
    const std::string exr = Exr(4, 3);
    const std::size_t table = ExrHeaderEnd(exr) + 1;
    const std::size_t lastChunk = static_cast<std::size_t>(LeAt(exr, table + 16, 8));
    const std::size_t window = exr.find("box2i") + 6 + 4;
    const std::string zip = Exr(4, 40, {.compression = 3, .linesPerChunk = 16});
    const std::string counted = WithAttributes(zip, 3, Attribute("chunkCount", "int", Le(3, 4)));
    const std::size_t count = counted.find("chunkCount") + 15 + 4;
    const std::size_t packing = counted.find("compression\0compression", 0, 23) + 24 + 4;
    // More segments than the walk to the frame takes; more header than the budget.
    std::string comments, attributes;
    for (int i = 0; i < 200; ++i) comments += std::string("\xFF\xFE\x00\x02", 4);
    for (int i = 0; i < 2000; ++i) attributes += Attribute("a", "int", Le(1, 4));
    // The chunks listed last first, as a file of decreasing lines has them.
    const std::string reversed = Patched(Patched(exr, table, exr.substr(table + 16, 8)), table + 16, exr.substr(table, 8));
    // The least TIFF: the pixels, then a directory whose values all fit in its entries.
    const auto entry = [](unsigned tag, unsigned type, std::uint32_t value) {
        return Le(tag, 2) + Le(type, 2) + Le(1, 4) + Le(value, 4);
    };
    const std::string least = std::string("II*\0", 4) + Le(14, 4) + std::string(6, '\x80') + Le(4, 2) +
                              entry(256, 3, 3) + entry(257, 3, 2) + entry(273, 4, 8) + entry(279, 3, 6) + Le(0, 4);
    std::string bigDirectory = Patched(tiff, 8, Le(2000, 2));
    bigDirectory.resize(8 + 2 + 12 * 2000 + 4, '\0');
    const std::string bigTiff = Tiff(5, 7, {.rowsPerStrip = 2, .bigEndian = true});
    const std::string hdrData(48, '\x80');
    const auto named = [&](std::size_t length) {
        return WithAttributes(exr, 3, Attribute(std::string(length, 'n'), "int", Le(1, 4)));
    };
    const std::vector<Case> cases = {
        {"PNG: a byte after IEND", L"a.png", png + '\0', {V::CutShort, 5, 3}},
        {"PNG: IEND's check sum", L"a.png", Patched(png, png.size() - 1, "\x83"), {V::CutShort, 5, 3}},
        {"PNG: IEND in IHDR's place", L"a.png", png.substr(0, 29) + std::string("\0\0\0\0IEND\xAE\x42\x60\x82", 12),
         {V::CutShort, 5, 3}},
        {"PNG: no IHDR first", L"a.png", Patched(png, 15, "x"), {V::NotThatFormat}},
        {"PNG: no width", L"a.png", Patched(png, 16, Le(0, 4)), {V::NotThatFormat}},
        {"PNG: the widest", L"a.png", Patched(png, 16, "\x7F\xFF\xFF\xFF"), {V::Complete, 0x7FFFFFFF, 3}},
        {"PNG: wider", L"a.png", Patched(png, 16, std::string("\x80\0\0\0", 4)), {V::NotThatFormat}},

        {"JPEG: segments, fill bytes and markers without one before the frame", L"a.jpg",
         jpeg.substr(0, 2) + std::string("\xFF\xC8\x00\x04\x12\x34\xFF\xCC\x00\x04\x01\x02\xFF\xFF\xFF\xD0\xFF\x01", 18) +
             std::string("\xFF\xE1\x00\x10", 4) + std::string(14, 'x') + jpeg.substr(2),
         {V::Complete, 17, 9}},
        {"JPEG: progressive", L"a.jpg", Patched(jpeg, frame + 1, "\xC2"), {V::Complete, 17, 9}},
        {"JPEG: the last frame marker", L"a.jpg", Patched(jpeg, frame + 1, "\xCF"), {V::Complete, 17, 9}},
        {"JPEG: the frame too far to walk to", L"a.jpg", jpeg.substr(0, 2) + comments + jpeg.substr(2), {V::Complete}},
        {"JPEG: lines counted after the scan", L"a.jpg", Patched(jpeg, frame + 5, std::string(2, '\0')), {V::Complete}},
        {"JPEG: a frame header too short for a size", L"a.jpg", Patched(jpeg, frame + 2, std::string("\0\x07", 2)),
         {V::NotThatFormat}},
        {"JPEG: no width", L"a.jpg", Patched(jpeg, frame + 7, std::string(2, '\0')), {V::NotThatFormat}},
        {"JPEG: the scan before any frame", L"a.jpg", Patched(jpeg, frame + 1, "\xC4"), {V::NotThatFormat}},
        {"JPEG: no marker where one belongs", L"a.jpg", Patched(jpeg, 20, "x"), {V::NotThatFormat}},
        {"JPEG: the end before any frame", L"a.jpg", "\xFF\xD8\xFF\xD9", {V::NotThatFormat}},
        {"JPEG: a byte after EOI", L"a.jpg", jpeg + '\0', {V::CutShort, 17, 9}},

        {"Targa: id, colour map, then the pixels", L"a.tga", TargaFile(5, 1, 2, 2, 24, 3, 2, 24, 5 + 6 + 18), {V::Complete, 3, 2}},
        {"Targa: a byte short", L"a.tga", TargaFile(5, 1, 2, 2, 24, 3, 2, 24, 5 + 6 + 17), {V::CutShort, 3, 2}},
        {"Targa: 15 bits a map entry", L"a.tga", TargaFile(0, 1, 1, 4, 15, 3, 2, 8, 8 + 6), {V::Complete, 3, 2}},
        {"Targa: 15 bits a map entry, a byte short", L"a.tga", TargaFile(0, 1, 1, 4, 15, 3, 2, 8, 8 + 5), {V::CutShort, 3, 2}},
        {"Targa: 15 bits a pixel", L"a.tga", TargaFile(0, 0, 2, 0, 0, 3, 2, 15, 12), {V::Complete, 3, 2}},
        {"Targa: 15 bits a pixel, a byte short", L"a.tga", TargaFile(0, 0, 2, 0, 0, 3, 2, 15, 11), {V::CutShort, 3, 2}},
        {"Targa: 32 bits a pixel, a byte short", L"a.tga", TargaFile(0, 0, 2, 0, 0, 3, 2, 32, 23), {V::CutShort, 3, 2}},
        {"Targa: grey", L"a.tga", TargaFile(0, 0, 3, 0, 0, 3, 2, 8, 6), {V::Complete, 3, 2}},
        {"Targa: grey, a byte short", L"a.tga", TargaFile(0, 0, 3, 0, 0, 3, 2, 8, 5), {V::CutShort, 3, 2}},
        {"Targa: a map entry of 8 bits", L"a.tga", TargaFile(0, 1, 1, 4, 8, 3, 2, 8, 10), {V::NotThatFormat}},
        {"Targa: colour-mapped without a map", L"a.tga", TargaFile(0, 0, 1, 0, 0, 3, 2, 8, 6), {V::NotThatFormat}},
        {"Targa: no image", L"a.tga", TargaFile(0, 0, 0, 0, 0, 3, 2, 24, 18), {V::NotThatFormat}},
        {"Targa: type 4", L"a.tga", TargaFile(0, 0, 4, 0, 0, 3, 2, 24, 18), {V::NotThatFormat}},
        {"Targa: 12 bits a pixel", L"a.tga", TargaFile(0, 0, 2, 0, 0, 3, 2, 12, 18), {V::NotThatFormat}},
        {"Targa: no width", L"a.tga", TargaFile(0, 0, 2, 0, 0, 0, 2, 24, 18), {V::NotThatFormat}},
        {"Targa: no height", L"a.tga", TargaFile(0, 0, 2, 0, 0, 3, 0, 24, 18), {V::NotThatFormat}},
        {"Targa: too short to say, not one either", L"a.tga", std::string("\0\x05\x02", 3), {V::NotThatFormat}},
        {"Targa: the largest, barely begun", L"a.tga", TargaFile(0, 0, 2, 0, 0, 65535, 65535, 32, 100), {V::CutShort, 65535, 65535}},
        {"Targa: run-length, cut inside its id", L"a.tga", TargaFile(200, 0, 10, 0, 0, 3, 2, 24, 10), {V::CutShort, 3, 2}},
        {"Targa: run-length, the header alone", L"a.tga", TargaFile(0, 0, 10, 0, 0, 3, 2, 24, 0), {V::CutShort, 3, 2}},
        {"Targa: run-length, footer but a run missing", L"a.tga", Targa(128, 3, true).erase(18, 4), {V::CutShort, 128, 3}},

        {"BMP: 1 bit, rows of 5 bytes padded to 8", L"a.bmp", BmpFile(40, 33, 2, 1, 0, 62, 62 + 16), {V::Complete, 33, 2}},
        {"BMP: 1 bit, a byte short", L"a.bmp", BmpFile(40, 33, 2, 1, 0, 62, 62 + 15), {V::CutShort, 33, 2}},
        {"BMP: 4 bits, a byte short", L"a.bmp", BmpFile(40, 9, 2, 4, 0, 54, 54 + 15), {V::CutShort, 9, 2}},
        {"BMP: 16 bits", L"a.bmp", BmpFile(40, 3, 2, 16, 0, 54, 54 + 16), {V::Complete, 3, 2}},
        {"BMP: 32 bits, a byte short", L"a.bmp", BmpFile(40, 3, 2, 32, 0, 54, 54 + 23), {V::CutShort, 3, 2}},
        {"BMP: bit fields", L"a.bmp", BmpFile(40, 3, 2, 32, 3, 66, 66 + 24), {V::Complete, 3, 2}},
        {"BMP: bit fields, a byte short", L"a.bmp", BmpFile(40, 3, 2, 32, 3, 66, 66 + 23), {V::CutShort, 3, 2}},
        {"BMP: alpha bit fields, a byte short", L"a.bmp", BmpFile(56, 3, 2, 32, 6, 70, 70 + 23), {V::CutShort, 3, 2}},
        {"BMP: top-down", L"a.bmp", BmpFile(40, 3, -2, 24, 0, 54, 54 + 24), {V::Complete, 3, 2}},
        {"BMP: top-down, a byte short", L"a.bmp", BmpFile(40, 3, -2, 24, 0, 54, 54 + 23), {V::CutShort, 3, 2}},
        {"BMP: OS/2 header", L"a.bmp", BmpFile(12, 5, 3, 24, 0, 26, 26 + 48), {V::Complete, 5, 3}},
        {"BMP: OS/2 header, a byte short", L"a.bmp", BmpFile(12, 5, 3, 24, 0, 26, 26 + 47), {V::CutShort, 5, 3}},
        {"BMP: version 5 header", L"a.bmp", BmpFile(124, 3, 2, 24, 0, 138, 138 + 24), {V::Complete, 3, 2}},
        {"BMP: run-length", L"a.bmp", BmpFile(40, 3, 2, 8, 1, 1078, 1079), {V::NotChecked, 3, 2}},
        {"BMP: run-length, no pixels", L"a.bmp", BmpFile(40, 3, 2, 8, 1, 1078, 1078), {V::CutShort, 3, 2}},
        {"BMP: a header of 20 bytes", L"a.bmp", BmpFile(20, 3, 2, 24, 0, 54, 78), {V::NotThatFormat}},
        {"BMP: pixels inside the header", L"a.bmp", BmpFile(40, 3, 2, 24, 0, 53, 78), {V::NotThatFormat}},
        {"BMP: no width", L"a.bmp", BmpFile(40, 0, 2, 24, 0, 54, 78), {V::NotThatFormat}},
        {"BMP: no height", L"a.bmp", BmpFile(40, 3, 0, 24, 0, 54, 78), {V::NotThatFormat}},
        {"BMP: the lowest height", L"a.bmp", BmpFile(40, 3, INT32_MIN, 24, 0, 54, 78), {V::NotThatFormat}},
        {"BMP: 7 bits", L"a.bmp", BmpFile(40, 3, 2, 7, 0, 54, 78), {V::NotThatFormat, 3, 2}},
        {"BMP: the largest", L"a.bmp", BmpFile(40, INT32_MAX, INT32_MAX, 32, 0, 54, 78), {V::CutShort, INT32_MAX, INT32_MAX}},

        {"TIFF: big-endian strips", L"a.tif", bigTiff, {V::Complete, 5, 7}},
        {"TIFF: big-endian strips, a byte short", L"a.tif", bigTiff.substr(0, bigTiff.size() - 1), {V::CutShort, 5, 7}},
        {"TIFF: the least", L"a.tif", least, {V::Complete, 3, 2}},
        {"TIFF: the least, cut in its last directory's end", L"a.tif", least.substr(0, least.size() - 1), {V::CutShort}},
        {"TIFF: the first strip past the end", L"a.tif", Patched(tiff, stripOffsets, Le(tiff.size(), 4)), {V::CutShort, 5, 7}},
        {"TIFF: the directory never written", L"a.tif", Patched(tiff, 4, Le(0, 4)), {V::CutShort}},
        {"TIFF: BigTIFF", L"a.tif", Patched(tiff, 2, Le(43, 2)), {V::NotChecked}},
        {"TIFF: no entries", L"a.tif", Patched(tiff, 8, Le(0, 2)), {V::NotThatFormat}},
        {"TIFF: no width", L"a.tif", Patched(tiff, 10, Le(4096, 2)), {V::NotThatFormat}},
        {"TIFF: fewer byte counts than strips", L"a.tif", Patched(tiff, 10 + 12 * 8 + 4, Le(3, 4)), {V::NotThatFormat, 5, 7}},
        {"TIFF: strip offsets as fractions", L"a.tif", Patched(tiff, 10 + 12 * 5 + 2, Le(5, 2)), {V::NotThatFormat, 5, 7}},
        {"TIFF: a directory longer than the budget", L"a.tif", bigDirectory, {V::NotChecked}},
        {"TIFF: as many strips as the budget holds", L"a.tif", Tiff(1, 1500, {.rowsPerStrip = 1}), {V::Complete, 1, 1500}},
        {"TIFF: more strips than the budget holds", L"a.tif", Tiff(1, 3000, {.rowsPerStrip = 1}), {V::NotChecked, 1, 3000}},

        {"EXR: a chunk never filled in", L"a.exr", Patched(exr, table, Le(0, 8)), {V::CutShort, 4, 3}},
        {"EXR: a chunk inside the table", L"a.exr", Patched(exr, table + 8, Le(table + 16, 8)), {V::NotThatFormat, 4, 3}},
        {"EXR: the last chunk of no size", L"a.exr", Patched(exr, lastChunk + 4, Le(0xFFFFFFFF, 4)), {V::NotThatFormat, 4, 3}},
        {"EXR: the last chunk of another line", L"a.exr", Patched(exr, lastChunk, Le(3, 4)), {V::NotThatFormat, 4, 3}},
        {"EXR: chunks in another order", L"a.exr", reversed, {V::Complete, 4, 3}},
        {"EXR: chunks in another order, the furthest cut", L"a.exr", reversed.substr(0, exr.size() - 1), {V::CutShort, 4, 3}},
        {"EXR: a header longer than the budget", L"a.exr", WithAttributes(exr, 3, attributes), {V::NotChecked}},
        {"EXR: tiled", L"a.exr", Patched(exr, 5, "\x02"), {V::NotChecked, 4, 3}},
        {"EXR: deep", L"a.exr", Patched(exr, 5, "\x08"), {V::NotChecked, 4, 3}},
        {"EXR: multi-part", L"a.exr", Patched(exr, 5, "\x10"), {V::NotChecked, 4, 3}},
        {"EXR: long names", L"a.exr", Patched(exr, 5, "\x04"), {V::Complete, 4, 3}},
        {"EXR: an unknown flag", L"a.exr", Patched(exr, 5, "\x01"), {V::NotThatFormat}},
        {"EXR: another unknown flag", L"a.exr", Patched(exr, 5, "\x20"), {V::NotThatFormat}},
        {"EXR: version 1", L"a.exr", Patched(exr, 4, "\x01"), {V::NotThatFormat}},
        {"EXR: no data window", L"a.exr", Patched(exr, exr.find("dataWindow") + 9, "x"), {V::NotThatFormat}},
        {"EXR: no compression", L"a.exr", Patched(exr, exr.find("compression") + 10, "X"), {V::NotThatFormat}},
        {"EXR: a data window of floats", L"a.exr", Patched(exr, exr.find("box2i") + 4, "f"), {V::NotThatFormat}},
        {"EXR: the widest", L"a.exr", Patched(exr, window, Le(INT32_MIN + 1u, 4) + Le(0, 4) + Le(INT32_MAX, 4)),
         {V::Complete, 0xFFFFFFFF, 3}},
        {"EXR: wider", L"a.exr", Patched(exr, window, Le(0x80000000u, 4) + Le(0, 4) + Le(INT32_MAX, 4)),
         {V::NotThatFormat}},
        {"EXR: taller than the file holds a table for", L"a.exr", Patched(exr, window + 12, Le(INT32_MAX - 1, 4)),
         {V::CutShort, 4, INT32_MAX}},
        {"EXR: as many chunks as the budget holds", L"a.exr", Exr(1, 1800), {V::Complete, 1, 1800}},
        {"EXR: more chunks than the budget holds", L"a.exr", Exr(1, 2100), {V::NotChecked, 1, 2100}},
        {"EXR: a large attribute passed over", L"a.exr",
         WithAttributes(exr, 3, Attribute("preview", "preview", std::string(40000, 'p'))),
         {V::Complete, 4, 3}},
        {"EXR: a name of 31 bytes", L"a.exr", named(31), {V::Complete, 4, 3}},
        {"EXR: a name of 32 bytes", L"a.exr", named(32), {V::NotThatFormat}},
        {"EXR: a name of 32 bytes, long names", L"a.exr", Patched(named(32), 5, "\x04"), {V::Complete, 4, 3}},
        {"EXR: the chunks counted", L"a.exr", counted, {V::Complete, 4, 40}},
        {"EXR: the chunks miscounted", L"a.exr", Patched(counted, count, Le(4, 4)), {V::NotThatFormat, 4, 40}},
        {"EXR: a newer compression, the chunks counted", L"a.exr", Patched(counted, packing, "\x0C"), {V::Complete, 4, 40}},
        {"EXR: a newer compression, a chunk short", L"a.exr", Patched(counted, packing, "\x0C").substr(0, counted.size() - 1),
         {V::CutShort, 4, 40}},
        {"EXR: a newer compression, the chunks not counted", L"a.exr",
         Patched(zip, zip.find("compression\0compression", 0, 23) + 28, "\x0C"), {V::NotChecked, 4, 40}},

        {"Radiance: columns first", L"a.hdr", "#?RADIANCE\n\n+X 4 -Y 3\n" + hdrData, {V::NotChecked, 4, 3}},
        {"Radiance: RGBE", L"a.hdr", "#?RGBE\nFORMAT=32-bit_rle_rgbe\n\n-Y 3 +X 4\n" + hdrData, {V::NotChecked, 4, 3}},
        {"Radiance: the tallest", L"a.hdr", "#?RADIANCE\n\n-Y 4294967295 +X 4\n" + hdrData, {V::NotChecked, 4, 4294967295}},
        {"Radiance: taller", L"a.hdr", "#?RADIANCE\n\n-Y 4294967296 +X 4\n" + hdrData, {V::NotThatFormat}},
        {"Radiance: one axis twice", L"a.hdr", "#?RADIANCE\n\n-Y 3 +Y 4\n" + hdrData, {V::NotThatFormat}},
        {"Radiance: no lines", L"a.hdr", "#?RADIANCE\n\n-Y 0 +X 4\n" + hdrData, {V::NotThatFormat}},
        {"Radiance: no number", L"a.hdr", "#?RADIANCE\n\n-Y +X 4\n" + hdrData, {V::NotThatFormat}},
        {"Radiance: two spaces", L"a.hdr", "#?RADIANCE\n\n-Y 3  +X 4\n" + hdrData, {V::NotThatFormat}},
        {"Radiance: more after the size", L"a.hdr", "#?RADIANCE\n\n-Y 3 +X 4 1\n" + hdrData, {V::NotThatFormat}},
        {"Radiance: a header longer than is read", L"a.hdr",
         "#?RADIANCE\n" + std::string(5000, '#') + "\n\n-Y 3 +X 4\n" + hdrData, {V::NotChecked}},
        {"Radiance: another program's", L"a.hdr", "#!RADIANCE\n\n-Y 3 +X 4\n" + hdrData, {V::NotThatFormat}},
    };
    for (const Case& c : cases) EXPECT_EQ(Check(c.name, c.bytes), c.want) << c.what;

    // Each compression's lines a chunk: a chunk fewer or more misses the last or reads chunks as
    // offsets.
    constexpr std::pair<int, int> Lines[] = {{0, 1},  {1, 1},  {2, 1},  {3, 16}, {4, 32},
                                             {5, 16}, {6, 32}, {7, 32}, {8, 32}, {9, 256}};
    for (const auto& [compression, lines] : Lines) {
        const std::string bytes = Exr(3, 300, {.compression = compression, .linesPerChunk = lines});
        EXPECT_EQ(Check(L"a.exr", bytes), (ImageCheck{V::Complete, 3, 300})) << compression;
        EXPECT_EQ(Check(L"a.exr", bytes.substr(0, bytes.size() - 1)), (ImageCheck{V::CutShort, 3, 300})) << compression;
    }

    // A table larger than the budget allows is not read at all.
    for (const auto& [name, bytes] : {std::pair{L"a.tif", Tiff(1, 3000, {.rowsPerStrip = 1})}, std::pair{L"a.exr", Exr(1, 2100)}}) {
        MemoryFile file(bytes);
        CheckImage(name, file);
        EXPECT_LT(file.handedOut, 1024u);
    }
}

TEST(ImageCheck, DamagedBytesAndFailingReadsNeverCrashNorReadPastTheBudget) {
    const std::vector<Sample> samples = Samples();
    // A read that fails is never taken for a cut or foreign file.
    for (const Sample& sample : samples) {
        MemoryFile whole(sample.bytes);
        CheckImage(sample.name, whole);
        for (std::size_t failAfter = 0; failAfter < whole.handedOut; ++failAfter) {
            const ImageVerdict verdict = Check(sample.name, sample.bytes, 0, 0, failAfter).verdict;
            EXPECT_TRUE(verdict == V::NotChecked || verdict == sample.whole) << std::string(sample.format) << failAfter;
        }
    }

    std::mt19937 random(20261207);
    const auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    const std::string extremes[] = {Le(0, 4), Le(0xFFFFFFFF, 4), Le(0x7FFFFFFF, 4), Le(0x80000000, 4), Le(0x00FFFF00, 4)};
    std::set<ImageVerdict> seen;
    for (const Sample& sample : samples) {
        for (int round = 0; round < 3000; ++round) {
            std::string bytes = sample.bytes;
            // Headers matter most: half the damage falls in the first 96 bytes.
            const auto somewhere = [&] { return below(round % 2 ? bytes.size() : std::min<std::size_t>(bytes.size(), 96)); };
            switch (round % 4) {
                case 0:
                    for (std::size_t n = 1 + below(4); n > 0; --n) bytes[somewhere()] = static_cast<char>(below(256));
                    break;
                case 1: {
                    const std::size_t at = std::min(somewhere(), bytes.size() - 4);
                    bytes = Patched(bytes, at, extremes[below(std::size(extremes))]);
                    break;
                }
                case 2:
                    bytes.resize(1 + below(bytes.size()));
                    bytes[somewhere()] = static_cast<char>(below(256));
                    break;
                default:
                    if (round % 8 == 3) {
                        bytes.insert(somewhere(), std::string(1 + below(16), static_cast<char>(below(256))));
                    } else {
                        const std::size_t at = somewhere();
                        bytes.erase(at, 1 + below(16));
                    }
                    break;
            }
            const std::wstring_view name = round % 10 == 0 ? samples[below(samples.size())].name : sample.name;
            ImageCheck check;
            EXPECT_NO_THROW(check = Check(name, bytes, static_cast<int>(sample.width), static_cast<int>(sample.height)));
            seen.insert(check.verdict);
        }
    }
    // Noise, and noise that starts as each format does.
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(below(400), '\0');
        for (char& byte : bytes) byte = static_cast<char>(below(256));
        const Sample& sample = samples[below(samples.size())];
        if (round % 2) bytes = sample.bytes.substr(0, 1 + below(16)) + bytes;
        EXPECT_NO_THROW(Check(sample.name, bytes, 3, 2));
    }
    // The damage reached past the signatures: every verdict but Empty came up.
    EXPECT_EQ(seen, (std::set<ImageVerdict>{V::Complete, V::CutShort, V::NotThatFormat, V::WrongSize, V::NotChecked}));
}

}  // namespace
}  // namespace ravolen
