#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ravolen {

// What the editable list raises. Nothing is caught inside the list: the error reaches the caller,
// and whatever the failing member did before it stays done.
class ListError : public std::runtime_error {
public:
    enum class Kind {
        NotBound,             // a member needs the list view (or the edit box) bound first
        DuplicateKey,         // a column key already in use
        SubscriptOutOfRange,  // an array element that does not exist, or an array never sized
        ControlRefused,       // the list view would not take a row or a column
    };

    ListError(Kind kind, const char* what) : std::runtime_error(what), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// A cell value as a caller hands it over: a text or a number, stored as its text form.
using ListValue = std::variant<std::wstring, std::int64_t, double>;

// The text a value is stored as: a number as its shortest decimal form ("7", "2.5", "1E+20").
std::wstring ListValueText(const ListValue& value);

// A one-dimensional array of values with the bounds its caller gave it: the lower bound need not
// be 0, and an array that was never given a size has no bounds at all.
class ListArray {
public:
    ListArray() = default;  // never given a size
    ListArray(std::initializer_list<ListValue> values, int lowerBound = 0)
        : values_(std::in_place, values), lowerBound_(lowerBound) {}

    // Raises SubscriptOutOfRange for an array that was never given a size.
    int upperBound() const;
    // Raises SubscriptOutOfRange for an index outside the bounds.
    const ListValue& at(int index) const;

private:
    std::optional<std::vector<ListValue>> values_;
    int lowerBound_ = 0;
};

}  // namespace ravolen
