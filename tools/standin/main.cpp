// Stands in for 3ds Max's command-line renderer. Each call appends one record to
// 3dsmaxcmd-calls.log beside the program and writes a 1×1 Targa image where -outputName: points.
// While a file named 3dsmaxcmd-hold lies beside the program, each call waits after recording
// itself, so that a test can catch a render while it runs.
//
// Record format, UTF-8, lengths in bytes so that any argument text reads back unambiguously:
//   call <argument count>\n
//   raw <length> <the whole command line>\n
//   arg <length> <argument>\n        once per argument, program name excluded
#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "StandIn.h"

namespace {

using standin::ProgramFolder;
using standin::Utf8;


bool AppendToFile(const std::wstring& path, const std::string& bytes) {
    const HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

void Field(std::string& record, std::string_view name, std::wstring_view value) {
    const std::string bytes = Utf8(value);
    record += std::string(name) + " " + std::to_string(bytes.size()) + " " + bytes + "\n";
}

void CreateFolders(const std::wstring& folder) {
    for (std::size_t at = folder.find(L'\\', 3); at != std::wstring::npos;
         at = folder.find(L'\\', at + 1)) {
        CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    }
    CreateDirectoryW(folder.c_str(), nullptr);
}

bool WritePlaceholderImage(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L'\\');
    if (separator != std::wstring::npos) CreateFolders(path.substr(0, separator));
    // Uncompressed true-colour Targa, 1×1, one grey pixel.
    const unsigned char image[] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 24, 0,
                                   128, 128, 128};
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, image, sizeof image, &written, nullptr);
    CloseHandle(file);
    return ok && written == sizeof image;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::string record = "call " + std::to_string(argc - 1) + "\n";
    Field(record, "raw", GetCommandLineW());
    std::wstring outputName;
    constexpr std::wstring_view option = L"-outputName:";
    for (int i = 1; i < argc; ++i) {
        const std::wstring_view argument = argv[i];
        Field(record, "arg", argument);
        if (argument.size() > option.size() &&
            CompareStringOrdinal(argument.data(), static_cast<int>(option.size()), option.data(),
                                 static_cast<int>(option.size()), TRUE) == CSTR_EQUAL) {
            outputName = argument.substr(option.size());
        }
    }
    if (!AppendToFile(ProgramFolder() + L"\\3dsmaxcmd-calls.log", record)) {
        std::fputs("3dsmaxcmd stand-in: cannot write the call log\n", stderr);
        return 2;
    }
    std::printf("3dsmaxcmd stand-in: %d arguments recorded\n", argc - 1);
    const std::wstring hold = ProgramFolder() + L"\\3dsmaxcmd-hold";
    while (GetFileAttributesW(hold.c_str()) != INVALID_FILE_ATTRIBUTES) Sleep(20);
    if (!outputName.empty() && !WritePlaceholderImage(outputName)) {
        std::fputs("3dsmaxcmd stand-in: cannot write the output image\n", stderr);
        return 3;
    }
    return 0;
}
