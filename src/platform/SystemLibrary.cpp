#include "platform/SystemLibrary.h"

namespace ravolen {

FARPROC SystemFunction(const wchar_t* library, const char* name) {
    HMODULE module = GetModuleHandleW(library);
    // Only from the system folder: never a file of the same name beside the program.
    if (!module) module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module ? GetProcAddress(module, name) : nullptr;
}

}  // namespace ravolen
