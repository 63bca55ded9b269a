#include "win/Reflection.h"

#include <unordered_map>
#include <utility>

#include "base/LiveObjects.h"

namespace ravolen::win {
namespace {

// The reflectors by control, of the one user-interface thread. A window property would do the
// same, but costs a call to the window server on every notification under Wine.
std::unordered_map<HWND, Reflector*>& Reflectors() {
    static std::unordered_map<HWND, Reflector*> reflectors;
    return reflectors;
}

}  // namespace

bool Reflector::reflectCommand(HWND, int) { return false; }
std::optional<LRESULT> Reflector::reflectNotify(NMHDR&) { return std::nullopt; }
HBRUSH Reflector::reflectColour(HWND, HDC) { return nullptr; }

Reflector* ReflectorOf(HWND control) {
    if (!control) return nullptr;
    const auto& reflectors = Reflectors();
    const auto found = reflectors.find(control);
    return found == reflectors.end() ? nullptr : found->second;
}

ReflectionBinding::ReflectionBinding(HWND control, Reflector* reflector)
    : control_(control), reflector_(reflector) {
    if (control_ && Reflectors().insert_or_assign(control_, reflector_).second) {
        LiveObjects::Made(LiveKind::Reflection);
    }
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
    if (control_) {
        auto& reflectors = Reflectors();
        const auto found = reflectors.find(control_);
        if (found != reflectors.end() && found->second == reflector_) {
            reflectors.erase(found);
            LiveObjects::Released(LiveKind::Reflection);
        }
    }
    control_ = nullptr;
    reflector_ = nullptr;
}

}  // namespace ravolen::win
