#pragma once

#include <cstdint>
#include <string>

namespace ravolen {

// The settings of one column of an editable list, as get/let pairs named after the member.
class clsColumnSettings {
public:
    // Recorded by addcolumn; nothing acts on it.
    bool show() const { return mvarshow; }
    void show(bool vData) { mvarshow = vData; }

    // The pattern a committed edit is formatted with, in a column whose Format_Numeric is set.
    const std::wstring& Format_String() const { return mvarFormat_String; }
    void Format_String(std::wstring vData) { mvarFormat_String = std::move(vData); }

    // A committed edit is first turned into a number.
    bool Format_Numeric() const { return mvarFormat_Numeric; }
    void Format_Numeric(bool vData) { mvarFormat_Numeric = vData; }

    // 0 left, 1 right, 2 centred, as the list view column has it.
    std::int16_t align() const { return mvaralign; }
    void align(std::int16_t vData) { mvaralign = vData; }

    // Twips, the width the column was created with; never updated afterwards.
    double colwidth() const { return mvarcolwidth; }
    void colwidth(double vData) { mvarcolwidth = vData; }

    // The column's cells may be edited where they stand.
    bool edit() const { return mvaredit; }
    void edit(bool vData) { mvaredit = vData; }

    // The column takes what the fixed columns leave of the list's width when it is refitted.
    bool grow() const { return mvargrow; }
    void grow(bool vData) { mvargrow = vData; }

    // 1-based position among the list view's columns: 1 is the row's text, n the sub-item n - 1.
    std::int16_t index() const { return mvarindex; }
    void index(std::int16_t vData) { mvarindex = vData; }

private:
    bool mvarshow = false;
    std::wstring mvarFormat_String;
    bool mvarFormat_Numeric = false;
    std::int16_t mvaralign = 0;
    double mvarcolwidth = 0;
    bool mvaredit = false;
    bool mvargrow = false;
    std::int16_t mvarindex = 0;
};

}  // namespace ravolen
