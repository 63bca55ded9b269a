#pragma once

#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "jobs/JobListFile.h"
#include "jobs/JobTable.h"

namespace ravolen {

// A job list as an Excel workbook (.xlsx): one sheet 任务列表, the header row of the six captions
// bold and frozen, every cell a text cell and every column formatted as text, so that Excel, WPS
// and LibreOffice keep "0012", "1.10" or "3-4" as typed, also when the artist edits them there.
// Characters XML cannot carry (most control characters, a lone surrogate) are written the way
// Excel writes them, "_xHHHH_", and a "_x" that would read as one is kept by "_x005F_".
std::string SaveJobWorkbook(std::span<const RenderJob> rows);

// Whether the bytes are a zip package, as every workbook is.
bool LooksLikeWorkbook(std::string_view bytes);

// How a job list file is read: as a workbook when its name ends in .xlsx or its bytes are a zip
// package, else as CSV.
bool OpensAsWorkbook(std::wstring_view path, std::string_view bytes);
// Where and how a job list is written, from the name exactly as typed in the save dialog and the
// file type chosen there, CSV being the second. A name ending in .xlsx or .csv, in any letter
// case, is kept and says the format, whatever type was chosen (a dialog would have added a
// second extension to one it does not know); any other name is given the chosen type's.
struct JobListSaveTarget {
    std::wstring path;
    bool workbook = true;

    bool operator==(const JobListSaveTarget&) const = default;
};
JobListSaveTarget JobListSaveTargetOf(std::wstring_view typed, int filterIndex);

// The rows of the first sheet of a workbook, or what is wrong with it (with the sheet's row
// number where a row is at fault). The header must be the six captions. Text cells are read as
// they stand, numbers as the General format shows them, TRUE and FALSE as such; empty rows carry
// nothing and are passed over.
std::variant<std::vector<RenderJob>, JobListFault> OpenJobWorkbook(std::string_view bytes);

// A number as a spreadsheet's General format shows it in a standard column: at most 11 digits
// and the decimal point, rounded, without trailing zeros ("1920", "1.1", "0.333333333"); from
// 1E+11 up and below 0.00001 in scientific notation with up to six digits ("1.23457E+11", "1E+21").
std::wstring GeneralNumberText(double value);

}  // namespace ravolen
