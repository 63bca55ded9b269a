#include "values/NumericFormat.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace ravolen {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

}  // namespace

double LeadingNumber(std::wstring_view text) {
    std::string number;  // the characters of the number, blanks left out
    bool point = false;
    bool exponent = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (IsBlank(c)) continue;
        if (IsDigit(c)) {
            number += static_cast<char>(c);
        } else if ((c == L'+' || c == L'-') &&
                   (number.empty() || number.back() == 'E')) {
            number += static_cast<char>(c);
        } else if (c == L'.' && !point && !exponent) {
            point = true;
            number += '.';
        } else if ((c == L'e' || c == L'E' || c == L'd' || c == L'D') && !exponent &&
                   !number.empty() && IsDigit(static_cast<wchar_t>(number.back()))) {
            exponent = true;
            number += 'E';
        } else {
            break;
        }
    }
    // An exponent or a sign without digits after it does not count.
    while (!number.empty() && !IsDigit(static_cast<wchar_t>(number.back())) && number.back() != '.') {
        number.pop_back();
    }
    if (number.empty() || number == "." || number == "+" || number == "-") return 0;
    const double value = std::strtod(number.c_str(), nullptr);
    return std::isfinite(value) ? value : 0;
}

std::wstring NumberText(double number) {
    if (number == 0) return L"0";  // also for -0
    char buffer[40];
    const int length = std::snprintf(buffer, sizeof buffer, "%.15G", number);
    return std::wstring(buffer, buffer + (length > 0 ? length : 0));
}

std::wstring FormatNumber(double number, std::wstring_view pattern) {
    const std::size_t first = pattern.find_first_of(L"0#");
    if (first == std::wstring_view::npos) return std::wstring(pattern);
    const std::size_t last = pattern.find_last_of(L"0#");
    const std::wstring_view digits = pattern.substr(first, last - first + 1);

    const std::size_t point = digits.find(L'.');
    const std::wstring_view whole = digits.substr(0, point);
    const std::wstring_view fraction =
        point == std::wstring_view::npos ? std::wstring_view{} : digits.substr(point + 1);
    std::size_t minimumWhole = 0;
    for (wchar_t c : whole) minimumWhole += c == L'0';
    std::size_t decimals = 0, minimumDecimals = 0;
    for (wchar_t c : fraction) {
        if (c == L'0' || c == L'#') ++decimals;
        if (c == L'0') minimumDecimals = decimals;
    }
    const bool grouped = whole.find(L',') != std::wstring_view::npos;

    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.*f", static_cast<int>(decimals), std::fabs(number));
    std::string text = buffer;
    std::string integer = text.substr(0, text.find('.'));
    std::string decimalsText = text.find('.') == std::string::npos ? "" : text.substr(text.find('.') + 1);
    while (decimalsText.size() > minimumDecimals && decimalsText.back() == '0') decimalsText.pop_back();
    if (integer == "0" && minimumWhole == 0) integer.clear();
    while (integer.size() < minimumWhole) integer.insert(integer.begin(), '0');
    if (grouped) {
        for (std::ptrdiff_t at = static_cast<std::ptrdiff_t>(integer.size()) - 3; at > 0; at -= 3) {
            integer.insert(static_cast<std::size_t>(at), 1, ',');
        }
    }
    std::string formatted = integer;
    if (!decimalsText.empty()) formatted += "." + decimalsText;
    const bool negative = number < 0 && formatted.find_first_of("123456789") != std::string::npos;

    std::wstring result(pattern.substr(0, first));
    if (negative) result += L'-';
    result.append(formatted.begin(), formatted.end());
    result += pattern.substr(last + 1);
    return result;
}

}  // namespace ravolen
