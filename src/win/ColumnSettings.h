#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace ravolen {

// The settings of one column of an editable list, each a getter and a setter of the same name.
class ColumnSettings {
public:
    // Recorded by addColumn; nothing acts on it.
    bool show() const { return show_; }
    void show(bool value) { show_ = value; }

    // The pattern a committed edit is formatted with, in a numeric column.
    const std::wstring& pattern() const { return pattern_; }
    void pattern(std::wstring value) { pattern_ = std::move(value); }

    // A committed edit is first turned into a number.
    bool numeric() const { return numeric_; }
    void numeric(bool value) { numeric_ = value; }

    // 0 left, 1 right, 2 centred, as the list view column has it.
    std::int16_t align() const { return align_; }
    void align(std::int16_t value) { align_ = value; }

    // Twips, the width the column was created with; never updated afterwards.
    double widthTwips() const { return widthTwips_; }
    void widthTwips(double value) { widthTwips_ = value; }

    // The column's cells may be edited where they stand.
    bool edit() const { return edit_; }
    void edit(bool value) { edit_ = value; }

    // The column takes what the fixed columns leave of the list's width when it is refitted.
    bool grow() const { return grow_; }
    void grow(bool value) { grow_ = value; }

    // 1-based position among the list view's columns: 1 is the row's text, n the sub-item n - 1.
    std::int16_t index() const { return index_; }
    void index(std::int16_t value) { index_ = value; }

private:
    bool show_ = false;
    std::wstring pattern_;
    bool numeric_ = false;
    std::int16_t align_ = 0;
    double widthTwips_ = 0;
    bool edit_ = false;
    bool grow_ = false;
    std::int16_t index_ = 0;
};

}  // namespace ravolen
