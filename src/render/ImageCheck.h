#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ravolen {

// A file read in small pieces, so that judging a rendered image never loads it whole.
class FileReader {
public:
    virtual ~FileReader() = default;

    virtual std::uint64_t size() const = 0;
    // Up to `length` bytes from `offset`: fewer at the file's end or when reading fails.
    virtual std::string read(std::uint64_t offset, std::size_t length) = 0;
};

// What judging one image reads of it at most, in all and in one read: its headers and, for TIFF
// and OpenEXR, the table that says where its pieces lie. A table that does not fit in what is
// left (about 2,000 strips or chunks) is not read, and the image is not judged.
inline constexpr std::size_t ImageReadBudget = 16 * 1024;
inline constexpr std::size_t ImageReadPiece = 4 * 1024;

enum class ImageVerdict {
    Complete,       // the file holds all of the image its header describes
    Empty,          // 0 bytes
    CutShort,       // the file ends before the image does, inside its header too
    NotThatFormat,  // another format's signature, or a header no such file can have
    WrongSize,      // the header's size is not the row's 长 × 宽, and the file is not cut short
                    // or foreign (it may be NotChecked otherwise)
    NotChecked,     // not judged: another extension, Radiance's pixels, run-length Targa without
                    // its TGA 2.0 footer, compressed BMP, BigTIFF, tiled, deep or multi-part
                    // OpenEXR; or a file that could not be read, or not within the budget
};

struct ImageCheck {
    ImageVerdict verdict = ImageVerdict::NotChecked;
    // The size the file's header gives; 0 × 0 where it gives none or was not read that far.
    std::uint32_t width = 0;
    std::uint32_t height = 0;

    bool operator==(const ImageCheck&) const = default;
};

// Judges the file as an image of the format its name's extension says, letter case aside (the
// name may be the extension alone, ".png"): PNG (.png), JPEG (.jpg .jpe .jpeg), Targa (.tga),
// BMP (.bmp), TIFF (.tif .tiff), OpenEXR (.exr), Radiance (.hdr .pic). A file of another
// extension is only told empty or not. `expectedWidth` × `expectedHeight` is the row's 长 × 宽;
// the size is compared only when both are above 0. Never reads past the file's end nor beyond
// ImageReadBudget.
ImageCheck CheckImage(std::wstring_view name, FileReader& file, int expectedWidth = 0,
                      int expectedHeight = 0);

}  // namespace ravolen
