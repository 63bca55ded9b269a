#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace ravolen::test {

// The workbooks a spreadsheet program saved, beside the repository as CMake found them.
inline std::filesystem::path SpreadsheetFixtures() { return RAVOLEN_SPREADSHEET_FIXTURES; }

// A fixture's bytes; nothing when the fixtures are not there.
inline std::optional<std::string> SpreadsheetFixture(const std::string& name) {
    std::ifstream in(SpreadsheetFixtures() / name, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace ravolen::test
