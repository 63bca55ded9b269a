#pragma once

#include <string>
#include <string_view>

namespace ravolen {

// The number a text begins with, read as a Basic runtime's Val reads it: blanks are skipped,
// digits, one decimal point and an exponent are taken up to the first other character, and a text
// that begins with no number reads as 0 ("12.50kg" is 12.5, "abc" is 0).
double LeadingNumber(std::wstring_view text);

// The number in the shortest decimal form that reads back as the same number ("12.5", "0").
std::wstring NumberText(double number);

// The number formatted with a numeric pattern of '0' (a digit always shown), '#' (a digit shown
// when significant), one '.' and ',' (thousands separators): "0.00" gives "12.50", "#,##0" gives
// "1,235". Text around the digits is kept as written.
std::wstring FormatNumber(double number, std::wstring_view pattern);

}  // namespace ravolen
