#include "jobs/FrameList.h"

#include <algorithm>

namespace ravolen {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

class FrameReader {
public:
    explicit FrameReader(std::wstring_view text) : text_(text) {}

    void skipBlanks() {
        while (at_ < text_.size() && IsBlank(text_[at_])) ++at_;
    }

    bool take(wchar_t c) {
        skipBlanks();
        if (at_ == text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }

    bool atEnd() {
        skipBlanks();
        return at_ == text_.size();
    }

    // A frame number: ASCII digits only (a full-width digit would reach the renderer as it is).
    std::optional<int> number() {
        skipBlanks();
        const std::size_t start = at_;
        long long value = 0;
        while (at_ < text_.size() && IsDigit(text_[at_])) {
            // Leading zeros aside, more digits than MaxFrame has can only be beyond it.
            value = std::min<long long>(value * 10 + (text_[at_] - L'0'), MaxFrame + 1LL);
            ++at_;
        }
        if (at_ == start || value > MaxFrame) return std::nullopt;
        return static_cast<int>(value);
    }

private:
    std::wstring_view text_;
    std::size_t at_ = 0;
};

}  // namespace

std::optional<std::vector<FrameRange>> ParseFrameList(std::wstring_view text) {
    FrameReader reader(text);
    std::vector<FrameRange> ranges;
    do {
        const auto first = reader.number();
        if (!first) return std::nullopt;
        FrameRange range{*first, *first};
        if (reader.take(L'-')) {
            const auto last = reader.number();
            if (!last || *last < *first) return std::nullopt;
            range.last = *last;
        }
        ranges.push_back(range);
    } while (reader.take(L','));
    if (!reader.atEnd()) return std::nullopt;
    return ranges;
}

std::wstring FramesArgument(std::wstring_view text) {
    std::wstring argument;
    argument.reserve(text.size());
    for (wchar_t c : text) {
        if (!IsBlank(c)) argument += c;
    }
    return argument;
}

std::vector<int> ListedFrames(const std::vector<FrameRange>& ranges) {
    std::vector<FrameRange> sorted = ranges;
    std::sort(sorted.begin(), sorted.end(),
              [](const FrameRange& a, const FrameRange& b) { return a.first < b.first; });
    // Overlapping ranges ("0-100,50") name their common frames once.
    std::vector<int> frames;
    int next = 0;
    for (const FrameRange& range : sorted) {
        for (int frame = std::max(range.first, next); frame <= range.last; ++frame) {
            frames.push_back(frame);
        }
        next = std::max(next, range.last + 1);
    }
    return frames;
}

std::wstring InvalidFramesText(std::wstring_view text) {
    return L"帧“" + std::wstring(text) + L"”不是有效的帧范围（例如 12、0-100、1,3,5-12）";
}

std::wstring InvalidFramesMessage(std::size_t row, std::wstring_view text) {
    return L"第" + std::to_wstring(row) + L"行的" + InvalidFramesText(text);
}

}  // namespace ravolen
