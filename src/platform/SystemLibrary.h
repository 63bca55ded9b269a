#pragma once

#include <windows.h>

namespace ravolen {

// A function of a library in the system folder, looked up when first needed, or null when the
// library or the function is missing. The shell's library takes as long to load as the rest of
// the program's start-up and more memory than its window, and most sessions never call it: it
// is loaded on the first drop of files or folder dialog instead. A library loaded here stays for
// the life of the process.
FARPROC SystemFunction(const wchar_t* library, const char* name);

template <typename Function>
Function* SystemFunctionOf(const wchar_t* library, const char* name) {
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(SystemFunction(library, name)));
}

}  // namespace ravolen
