#include "jobs/JobListFile.h"

#include <algorithm>
#include <optional>

namespace ravolen {
namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

void AppendUtf8(std::string& out, std::wstring_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;  // a lone surrogate has no UTF-8 form
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

std::variant<std::wstring, std::size_t> DecodeUtf8(std::string_view bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        int length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                   : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
        if (length == 0 || i + static_cast<std::size_t>(length) > bytes.size()) return i;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80) return i;
            c = (c << 6) | (next & 0x3F);
        }
        const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return i;
        if (c >= 0x10000) {
            text += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            text += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            text += static_cast<wchar_t>(c);
        }
        i += static_cast<std::size_t>(length);
    }
    return text;
}

namespace {

bool NeedsQuotes(std::wstring_view field) {
    if (field.empty()) return false;
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    return field.find_first_of(L",\"\r\n") != std::wstring_view::npos || blank(field.front()) ||
           blank(field.back());
}

void AppendField(std::string& out, std::wstring_view field) {
    if (!NeedsQuotes(field)) {
        AppendUtf8(out, field);
        return;
    }
    out += '"';
    for (std::size_t quote; (quote = field.find(L'"')) != std::wstring_view::npos;) {
        AppendUtf8(out, field.substr(0, quote + 1));
        out += '"';
        field.remove_prefix(quote + 1);
    }
    AppendUtf8(out, field);
    out += '"';
}

void AppendRecord(std::string& out, const std::array<std::wstring, JobColumnCount>& cells, int width) {
    AppendCsvRecord(out, std::span<const std::wstring>(cells).first(static_cast<std::size_t>(width)));
}

std::array<std::wstring, JobColumnCount> Header() {
    std::array<std::wstring, JobColumnCount> captions;
    for (std::size_t i = 0; i < captions.size(); ++i) captions[i] = JobColumns[i].caption;
    return captions;
}

// Reads the records of a CSV text, RFC 4180, counting physical lines for the faults.
class CsvReader {
public:
    explicit CsvReader(std::wstring_view text) : text_(text) {}

    bool done() const { return at_ >= text_.size(); }
    int line() const { return line_; }

    // The next record, or a fault.
    std::variant<std::vector<std::wstring>, JobListFault> next() {
        std::vector<std::wstring> fields(1);
        const int start = line_;
        bool quoted = false, afterQuote = false;
        for (; at_ < text_.size(); ++at_) {
            const wchar_t c = text_[at_];
            if (quoted) {
                if (c == L'"') {
                    if (at_ + 1 < text_.size() && text_[at_ + 1] == L'"') {
                        fields.back() += L'"';
                        ++at_;
                    } else {
                        quoted = false;
                        afterQuote = true;
                    }
                } else {
                    if (c == L'\n') ++line_;
                    fields.back() += c;
                }
            } else if (c == L',') {
                fields.emplace_back();
                afterQuote = false;
            } else if (c == L'\r' || c == L'\n') {
                at_ += c == L'\r' && at_ + 1 < text_.size() && text_[at_ + 1] == L'\n' ? 2 : 1;
                ++line_;
                return fields;
            } else if (afterQuote) {
                return JobListFault{line_, L"引号之后还有文字"};
            } else if (c == L'"') {
                if (!fields.back().empty()) return JobListFault{line_, L"引号不在字段开头"};
                quoted = true;
            } else {
                fields.back() += c;
            }
        }
        if (quoted) return JobListFault{start, L"引号没有结束"};
        ++line_;
        return fields;
    }

private:
    std::wstring_view text_;
    std::size_t at_ = 0;
    int line_ = 1;
};

int LineOfOffset(std::string_view bytes, std::size_t offset) {
    int line = 1;
    for (std::size_t i = 0; i < offset && i < bytes.size(); ++i) line += bytes[i] == '\n';
    return line;
}

}  // namespace

void AppendCsvRecord(std::string& out, std::span<const std::wstring> fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) out += ',';
        AppendField(out, fields[i]);
    }
    out += "\r\n";
}

std::optional<std::vector<std::vector<std::wstring>>> ReadCsvRecords(std::string_view bytes) {
    if (bytes.starts_with(ByteOrderMark)) bytes.remove_prefix(ByteOrderMark.size());
    auto decoded = DecodeUtf8(bytes);
    if (!std::holds_alternative<std::wstring>(decoded)) return std::nullopt;
    CsvReader reader(std::get<std::wstring>(decoded));
    std::vector<std::vector<std::wstring>> records;
    while (!reader.done()) {
        auto record = reader.next();
        if (!std::holds_alternative<std::vector<std::wstring>>(record)) return std::nullopt;
        records.push_back(std::get<std::vector<std::wstring>>(std::move(record)));
    }
    return records;
}

std::string SaveJobList(std::span<const RenderJob> rows) {
    std::string out(ByteOrderMark);
    const int width = FileColumnCount(rows);
    AppendRecord(out, Header(), width);
    for (const RenderJob& job : rows) AppendRecord(out, JobCells(job), width);
    return out;
}

int FileColumnCount(std::span<const RenderJob> rows) {
    return std::any_of(rows.begin(), rows.end(), UsesOptionalColumns) ? JobColumnCount : JobBaseColumnCount;
}

std::variant<std::vector<RenderJob>, JobListFault> OpenJobList(std::string_view bytes) {
    if (bytes.starts_with(ByteOrderMark)) bytes.remove_prefix(ByteOrderMark.size());
    if (const std::size_t nul = bytes.find('\0'); nul != std::string_view::npos) {
        return JobListFault{LineOfOffset(bytes, nul), L"不是文本文件"};
    }
    auto decoded = DecodeUtf8(bytes);
    if (const auto* bad = std::get_if<std::size_t>(&decoded)) {
        return JobListFault{LineOfOffset(bytes, *bad), L"不是UTF-8编码的文本"};
    }
    CsvReader reader(std::get<std::wstring>(decoded));
    std::vector<RenderJob> rows;
    bool header = true;
    std::size_t width = JobBaseColumnCount;  // the header says six columns or all nine
    while (!reader.done()) {
        const int line = reader.line();
        auto record = reader.next();
        if (auto* fault = std::get_if<JobListFault>(&record)) return *fault;
        auto& fields = std::get<std::vector<std::wstring>>(record);
        if (header && fields.size() == JobColumnCount) width = JobColumnCount;
        if (fields.size() != width) {
            return ColumnCountFault(line, fields.size(), width);
        }
        std::array<std::wstring, JobColumnCount> cells;
        std::fill(cells.begin(), cells.end(), std::wstring(DefaultMarker));
        std::move(fields.begin(), fields.end(), cells.begin());
        if (header) {
            const auto captions = Header();
            if (!std::equal(cells.begin(), cells.begin() + static_cast<std::ptrdiff_t>(width), captions.begin())) {
                return JobListFault{line, L"不是任务列表的标题行"};
            }
            header = false;
            continue;
        }
        rows.push_back(JobFromCells(std::move(cells)));
    }
    if (header) return JobListFault{1, L"没有标题行"};
    return rows;
}

std::optional<std::wstring> Utf8Text(std::string_view bytes) {
    auto decoded = DecodeUtf8(bytes);
    if (std::holds_alternative<std::size_t>(decoded)) return std::nullopt;
    return std::get<std::wstring>(std::move(decoded));
}

std::wstring JobListFaultMessage(std::wstring_view path, const JobListFault& fault) {
    if (fault.line == 0) return L"无法读取任务列表：" + std::wstring(path) + L"（" + fault.reason + L"）";
    return L"无法读取任务列表：" + std::wstring(path) + L"（第" + std::to_wstring(fault.line) +
           L"行）" + fault.reason;
}

JobListFault ColumnCountFault(int line, std::size_t count, std::size_t expected) {
    return {line, L"有" + std::to_wstring(count) + L"列，应为" + std::to_wstring(expected) + L"列"};
}

}  // namespace ravolen
