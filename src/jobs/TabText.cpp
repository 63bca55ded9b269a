#include "jobs/TabText.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace ravolen {
namespace {

constexpr wchar_t Tab = L'\t';
constexpr wchar_t Quote = L'"';

void AppendCell(std::wstring& out, std::wstring_view cell) {
    if (cell.find_first_of(L"\t\r\n\"") == std::wstring_view::npos) {
        out += cell;
        return;
    }
    out += Quote;
    for (const wchar_t c : cell) {
        if (c == Quote) out += Quote;
        out += c;
    }
    out += Quote;
}

// Reads tab text a row at a time, counting its lines (CR LF, LF or CR each ends one) for faults.
class TabReader {
public:
    explicit TabReader(std::wstring_view text) : text_(text) {}

    bool done() const { return at_ >= text_.size(); }
    int line() const { return line_; }

    std::vector<std::wstring> next() {
        std::vector<std::wstring> cells;
        for (;;) {
            cells.push_back(cell());
            if (done()) {
                ++line_;
                return cells;
            }
            const wchar_t c = text_[at_++];
            if (c == Tab) continue;
            if (c == L'\r' && !done() && text_[at_] == L'\n') ++at_;
            ++line_;
            return cells;
        }
    }

private:
    // One cell, up to the tab or line end after it, which is left for the caller.
    std::wstring cell() {
        std::wstring cell;
        if (!done() && text_[at_] == Quote) {
            if (auto quoted = quotedPart()) cell = std::move(*quoted);
        }
        const std::size_t end = std::min(text_.find_first_of(L"\t\r\n", at_), text_.size());
        cell.append(text_.substr(at_, end - at_));
        at_ = end;
        return cell;
    }

    // The quoted start of a cell, unquoted, or nothing (and nothing taken) when no quote closes it.
    std::optional<std::wstring> quotedPart() {
        std::wstring part;
        int lines = 0;
        for (std::size_t i = at_ + 1; i < text_.size(); ++i) {
            const wchar_t c = text_[i];
            const bool followed = i + 1 < text_.size();
            if (c == Quote && followed && text_[i + 1] == Quote) {
                part += Quote;
                ++i;
            } else if (c == Quote) {
                at_ = i + 1;
                line_ += lines;
                return part;
            } else {
                lines += c == L'\n' || (c == L'\r' && !(followed && text_[i + 1] == L'\n'));
                part += c;
            }
        }
        return std::nullopt;
    }

    std::wstring_view text_;
    std::size_t at_ = 0;
    int line_ = 1;
};

bool IsCaptionRow(const std::vector<std::wstring>& cells) {
    return std::equal(cells.begin(), cells.end(), JobColumns.begin(),
                      [](const std::wstring& cell, const JobColumn& column) { return cell == column.caption; });
}

// A job list's CSV text: no cell of a spreadsheet's row separated by a tab, or a first line that
// begins as the list's header (a list whose cells hold tabs). Line breaks alone are no list.
bool IsJobListCsv(std::wstring_view text) {
    const std::wstring header = std::wstring(JobColumns[0].caption) + L',';
    if (text.starts_with(header)) return true;
    return text.find(Tab) == std::wstring_view::npos && text.find_first_not_of(L"\r\n") != std::wstring_view::npos;
}

}  // namespace

std::wstring RowsAsTabText(std::span<const RenderJob> rows) {
    const auto width = static_cast<std::size_t>(FileColumnCount(rows));
    std::wstring text;
    for (const RenderJob& job : rows) {
        const auto cells = JobCellViews(job);
        for (std::size_t i = 0; i < width; ++i) {
            if (i > 0) text += Tab;
            AppendCell(text, cells[i]);
        }
        text += L"\r\n";
    }
    return text;
}

std::variant<std::vector<RenderJob>, JobListFault> RowsFromText(std::wstring_view text) {
    if (text.starts_with(L'\uFEFF')) text.remove_prefix(1);
    if (IsJobListCsv(text)) {
        std::string bytes;
        AppendUtf8(bytes, text);
        return OpenJobList(bytes);
    }
    TabReader reader(text);
    std::vector<RenderJob> rows;
    std::size_t width = 0;  // the first row's: six, or all nine
    while (!reader.done()) {
        const int line = reader.line();
        std::vector<std::wstring> cells = reader.next();
        if (cells.size() == 1 && cells.front().empty()) continue;  // a line with nothing on it
        const bool first = width == 0;
        if (first) width = cells.size() == JobColumnCount ? JobColumnCount : JobBaseColumnCount;
        if (cells.size() != width) return ColumnCountFault(line, cells.size(), width);
        if (first && IsCaptionRow(cells)) continue;
        std::array<std::wstring, JobColumnCount> row;
        std::fill(row.begin(), row.end(), std::wstring(DefaultMarker));
        std::move(cells.begin(), cells.end(), row.begin());
        rows.push_back(JobFromCells(std::move(row)));
    }
    return rows;
}

std::wstring PastedTextFaultMessage(const JobListFault& fault) {
    return JobListFaultMessage(PastedTextSource, fault);
}

}  // namespace ravolen
