#pragma once

#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "jobs/JobListFile.h"
#include "jobs/JobTable.h"

namespace ravolen {

// Rows as spreadsheets copy and paste them: a line per row ended by CR LF (the last one too, as
// Excel ends it), its cells separated by tabs; six cells a row, or nine when a row uses the
// optional columns, as a job list file has it. A cell holding a tab, a line break or a double
// quote is quoted as Excel quotes it: in double quotes, each quote inside doubled. The same rows
// as a job list's CSV are SaveJobList's.
std::wstring RowsAsTabText(std::span<const RenderJob> rows);

// The rows of text copied in Excel, WPS or LibreOffice, or of a job list's CSV text, or the first
// line that is not a row, counted as the text's lines.
// - Cells are separated by tabs, lines ended by CR LF, LF or CR; the first row decides six cells
//   a row or nine, and every row has as many. A first row of the column captions is skipped. A
//   line with nothing on it is not a row (a trailing line break adds none); a line of empty cells
//   is a row of empty cells, as the spreadsheet copied it.
// - A cell beginning with a double quote runs to its closing quote, a doubled quote inside being
//   one, tabs and line breaks inside kept; what follows the closing quote up to the tab belongs to
//   the cell, as Excel reads it. A quote that nothing closes is a character of the cell.
// - Text without any tab, or whose first line starts as the job list's header does, is read as a
//   job list's CSV (header required), by the rules of opening one.
// Cells keep exactly what was copied: "0012" stays "0012", blanks are not trimmed.
std::variant<std::vector<RenderJob>, JobListFault> RowsFromText(std::wstring_view text);

// What a fault of pasted text names in place of a file.
inline constexpr std::wstring_view PastedTextSource = L"剪贴板";
// The message for text that is not rows, in the words of opening a job list.
std::wstring PastedTextFaultMessage(const JobListFault& fault);

}  // namespace ravolen
