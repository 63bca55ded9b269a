#include "values/ListArray.h"

#include "values/NumericFormat.h"

namespace ravolen {

std::wstring ListValueText(const ListValue& value) {
    struct Text {
        std::wstring operator()(const std::wstring& text) const { return text; }
        std::wstring operator()(std::int64_t number) const { return std::to_wstring(number); }
        std::wstring operator()(double number) const { return NumberText(number); }
    };
    return std::visit(Text{}, value);
}

int ListArray::upperBound() const {
    if (!values_) throw ListError(ListError::Kind::SubscriptOutOfRange, "array was never sized");
    return lowerBound_ + static_cast<int>(values_->size()) - 1;
}

const ListValue& ListArray::at(int index) const {
    if (!values_ || index < lowerBound_ || index > upperBound()) {
        throw ListError(ListError::Kind::SubscriptOutOfRange, "subscript out of range");
    }
    return (*values_)[static_cast<std::size_t>(index - lowerBound_)];
}

}  // namespace ravolen
