#pragma once

#include <windows.h>

#include <optional>

namespace ravolen::win {

// The object that owns a control and answers the notifications Windows sends about it to the
// control's parent. A Form hands each WM_COMMAND, WM_NOTIFY and WM_CTLCOLOR* of a control to the
// control's reflector first, so a generic component handles its own controls wherever it is put.
class Reflector {
public:
    // True when the command was handled.
    virtual bool reflectCommand(HWND control, int code);
    // The answer to the notification, or nothing to let the parent answer it.
    virtual std::optional<LRESULT> reflectNotify(NMHDR& header);
    // The brush to paint the control with, or null to let the parent choose.
    virtual HBRUSH reflectColour(HWND control, HDC dc);

protected:
    Reflector() = default;
    Reflector(const Reflector&) = default;
    Reflector& operator=(const Reflector&) = default;
    ~Reflector() = default;
};

// The reflector of a control, or null.
Reflector* ReflectorOf(HWND control);

// Makes `reflector` answer for `control` as long as it lives; moving it along moves the binding.
class ReflectionBinding {
public:
    ReflectionBinding() = default;
    ReflectionBinding(HWND control, Reflector* reflector);
    ~ReflectionBinding() { reset(); }

    ReflectionBinding(ReflectionBinding&& other) noexcept;
    ReflectionBinding& operator=(ReflectionBinding&& other) noexcept;

    void reset();

private:
    HWND control_ = nullptr;
    Reflector* reflector_ = nullptr;
};

}  // namespace ravolen::win
