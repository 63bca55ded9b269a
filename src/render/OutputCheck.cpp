#include "render/OutputCheck.h"

#include <algorithm>
#include <cwctype>
#include <set>

namespace ravolen {
namespace {

// A row's 长 or 宽 as a number of pixels, or 0 where it says 默认 or anything else.
int Pixels(const std::wstring& cell) {
    if (cell.empty() || cell.size() > 6) return 0;
    int pixels = 0;
    for (const wchar_t digit : cell) {
        if (!std::iswdigit(digit)) return 0;
        pixels = pixels * 10 + (digit - L'0');
    }
    return pixels;
}

void Note(std::size_t& count, std::vector<int>* first, int frame) {
    ++count;
    if (first && frame >= 0 && first->size() < MissingFramesListed) first->push_back(frame);
}

class PlatformFile final : public FileReader {
public:
    PlatformFile(Platform& platform, const OutputFile& file) : platform_(platform), file_(file) {}
    std::uint64_t size() const override { return file_.size; }
    std::string read(std::uint64_t offset, std::size_t length) override {
        return platform_.readFileFrom(file_.path, offset, length).value_or(std::string());
    }

private:
    Platform& platform_;
    const OutputFile& file_;
};

}  // namespace

void CheckOutputs(std::span<const RenderJob> rows, std::vector<RenderResult>& results, const ImageReading& read) {
    for (std::size_t i = 0; i < results.size() && i < rows.size(); ++i) {
        RenderResult& result = results[i];
        ImageFaults& faults = result.faults;
        faults = {};
        faults.expectedWidth = Pixels(rows[i].width);
        faults.expectedHeight = Pixels(rows[i].height);
        if (faults.expectedWidth == 0 || faults.expectedHeight == 0) faults.expectedWidth = faults.expectedHeight = 0;
        for (const OutputFile& file : result.files) {
            const ImageCheck check = read(file, faults.expectedWidth, faults.expectedHeight);
            switch (check.verdict) {
                case ImageVerdict::Empty: Note(faults.empty, &faults.firstEmpty, file.frame); break;
                case ImageVerdict::CutShort:
                case ImageVerdict::NotThatFormat: Note(faults.broken, &faults.firstBroken, file.frame); break;
                case ImageVerdict::WrongSize:
                    if (faults.wrongSize == 0) {
                        faults.actualWidth = check.width;
                        faults.actualHeight = check.height;
                    }
                    Note(faults.wrongSize, nullptr, file.frame);
                    break;
                case ImageVerdict::Complete:
                case ImageVerdict::NotChecked: continue;
            }
            faults.files.push_back(file.path);
        }
        if (faults.any()) result.done = false;
    }
}

std::vector<FileMove> SetAsideMoves(std::span<const RenderResult> results,
                                    const std::function<bool(const std::wstring&)>& exists) {
    std::vector<FileMove> moves;
    std::set<std::wstring> planned;  // folded: two broken files of one name in one folder
    for (const RenderResult& result : results) {
        for (const std::wstring& from : result.faults.files) {
            const std::size_t slash = from.find_last_of(L'\\');
            const std::wstring folder = (slash == std::wstring::npos ? std::wstring() : from.substr(0, slash + 1)) + std::wstring(SetAsideFolder);
            const std::wstring name = slash == std::wstring::npos ? from : from.substr(slash + 1);
            const std::size_t dot = name.find_last_of(L'.');
            const std::wstring stem = name.substr(0, dot), extension = dot == std::wstring::npos ? L"" : name.substr(dot);
            std::wstring to = folder + L"\\" + name;
            // Bounded: a folder that says every name is taken keeps its file where it is.
            constexpr int MostNumbers = 9999;
            int number = 1;
            while ((planned.contains(FoldCase(to)) || exists(to)) && ++number <= MostNumbers) {
                to = folder + L"\\" + stem + L" (" + std::to_wstring(number) + L")" + extension;
            }
            if (number > MostNumbers) continue;
            planned.insert(FoldCase(to));
            moves.push_back({from, std::move(to)});
        }
    }
    return moves;
}

ImageCheck ReadImage(Platform& platform, const OutputFile& file, int width, int height) {
    PlatformFile reader(platform, file);
    return CheckImage(file.path, reader, width, height);
}

ImageCheck ImageReadings::operator()(const OutputFile& file, int width, int height) {
    const auto key = std::make_tuple(file.path, file.size, file.modified, width, height);
    {
        const std::lock_guard<std::mutex> guard(lock_);
        if (const auto found = read_.find(key); found != read_.end()) return found->second;
    }
    const ImageCheck check = ReadImage(platform_, file, width, height);
    const std::lock_guard<std::mutex> guard(lock_);
    read_.emplace(key, check);
    return check;
}

}  // namespace ravolen
