#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "jobs/JobTable.h"
#include "jobs/Results.h"
#include "platform/Platform.h"
#include "render/ImageCheck.h"

namespace ravolen {

// Reads one image a row left: the file, and the row's 长 × 宽 (0 × 0 when the row says 默认).
using ImageReading = std::function<ImageCheck(const OutputFile& file, int width, int height)>;

// Every image the results found, read in its own format: what is wrong goes into each result's
// faults, and a row with any fault is not done. A file that could not be judged but is not empty
// passes, as nothing says it is broken.
void CheckOutputs(std::span<const RenderJob> rows, std::vector<RenderResult>& results, const ImageReading& read);

// Where the images at fault go before their rows render again, so that a renderer skipping the
// frames already there renders exactly them: into a folder 损坏 beside each, under its own name,
// or "name (2).ext", "(3)" ... where that is taken (`exists`) or planned already. Moved, never
// deleted.
inline constexpr std::wstring_view SetAsideFolder = L"损坏";
struct FileMove {
    std::wstring from, to;
    bool operator==(const FileMove&) const = default;
};
std::vector<FileMove> SetAsideMoves(std::span<const RenderResult> results,
                                    const std::function<bool(const std::wstring&)>& exists);

// The image read through the platform in the few pieces the judgement needs.
ImageCheck ReadImage(Platform& platform, const OutputFile& file, int width, int height);

// Each file's reading kept by its path, size and time of writing, so that a file is read once
// however often the results are shown; from any thread.
class ImageReadings {
public:
    explicit ImageReadings(Platform& platform) : platform_(platform) {}
    ImageCheck operator()(const OutputFile& file, int width, int height);

private:
    Platform& platform_;
    std::mutex lock_;
    std::map<std::tuple<std::wstring, unsigned long long, unsigned long long, int, int>, ImageCheck> read_;
};

}  // namespace ravolen
