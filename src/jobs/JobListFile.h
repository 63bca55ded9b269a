#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "jobs/JobTable.h"

namespace ravolen {

// A job list as a file: UTF-8 with a byte-order mark, a header line of the six column captions,
// one line per row, fields quoted as RFC 4180 has it, CRLF line ends. Excel and WPS open and save
// it as it is. Cells are kept exactly as they stand, whatever the renderer would make of them.
// A table whose optional cells are all 默认 is written in six columns, as every peer reads it; one
// that uses them in all nine, the three captions after the six.
std::string SaveJobList(std::span<const RenderJob> rows);
// How many columns a file of these rows holds: six, or nine when a row uses the optional ones.
int FileColumnCount(std::span<const RenderJob> rows);

// Why a file is not a job list, and where.
struct JobListFault {
    int line;  // from 1; 0 where the fault is the whole file's, not a line's
    std::wstring reason;

    bool operator==(const JobListFault&) const = default;
};

// The rows of a job list file, or the first place where it is not one.
std::variant<std::vector<RenderJob>, JobListFault> OpenJobList(std::string_view bytes);

// Well-formed UTF-8 as text (a byte-order mark is not taken off), or nothing.
std::optional<std::wstring> Utf8Text(std::string_view bytes);
// Text as UTF-8 (a lone surrogate, which has no UTF-8 form, as U+FFFD), and back: the text of
// well-formed UTF-8, or the offset of the first byte that is not.
void AppendUtf8(std::string& out, std::wstring_view text);
std::variant<std::wstring, std::size_t> DecodeUtf8(std::string_view bytes);

// The message for a fault of the file at `path`.
std::wstring JobListFaultMessage(std::wstring_view path, const JobListFault& fault);
// A line holding `count` fields where `expected` belong, as a list and pasted rows report it.
JobListFault ColumnCountFault(int line, std::size_t count, std::size_t expected);

// The same CSV for other files the program keeps: one record, its fields quoted as above and a
// CR LF at its end; and the records of such a text (a byte-order mark first or not), or nothing
// when it is not well-formed UTF-8 or a field's quotes are broken.
void AppendCsvRecord(std::string& out, std::span<const std::wstring> fields);
std::optional<std::vector<std::vector<std::wstring>>> ReadCsvRecords(std::string_view bytes);

}  // namespace ravolen
