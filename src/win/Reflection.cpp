#include "win/Reflection.h"

#include <utility>

namespace ravolen::win {
namespace {

constexpr wchar_t Property[] = L"Ravolen.Reflector";

}  // namespace

bool Reflector::reflectCommand(HWND, int) { return false; }
std::optional<LRESULT> Reflector::reflectNotify(NMHDR&) { return std::nullopt; }
HBRUSH Reflector::reflectColour(HWND, HDC) { return nullptr; }

Reflector* ReflectorOf(HWND control) {
    return control ? static_cast<Reflector*>(GetPropW(control, Property)) : nullptr;
}

ReflectionBinding::ReflectionBinding(HWND control, Reflector* reflector)
    : control_(control), reflector_(reflector) {
    if (control_ && !SetPropW(control_, Property, reflector_)) control_ = nullptr;
}

ReflectionBinding::ReflectionBinding(ReflectionBinding&& other) noexcept
    : control_(std::exchange(other.control_, nullptr)),
      reflector_(std::exchange(other.reflector_, nullptr)) {}

ReflectionBinding& ReflectionBinding::operator=(ReflectionBinding&& other) noexcept {
    if (this != &other) {
        reset();
        control_ = std::exchange(other.control_, nullptr);
        reflector_ = std::exchange(other.reflector_, nullptr);
    }
    return *this;
}

void ReflectionBinding::reset() {
    // Another binding may have taken the control over since; that one stays.
    if (control_ && IsWindow(control_) && GetPropW(control_, Property) == reflector_) {
        RemovePropW(control_, Property);
    }
    control_ = nullptr;
    reflector_ = nullptr;
}

}  // namespace ravolen::win
