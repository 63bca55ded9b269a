// Stands in for 3ds Max's command-line renderer. Each call appends one record to
// 3dsmaxcmd-calls.log beside the program and writes a real image where -outputName: points, of
// the format its extension names (PNG, JPEG, Targa, BMP, TIFF, OpenEXR, Radiance), -w: × -h:
// pixels (-width: and -height: as well); 4 × 3 where a side is not given or not a positive number,
// 4096 at most, so that tests stay fast. A name of another extension gets a few bytes of grey.
// Frames are not numbered: an animation writes the one file under its name.
// While a file named 3dsmaxcmd-hold lies beside the program, each call waits after recording
// itself, so that a test can catch a render while it runs.
//
// A file 3dsmaxcmd-plan beside the program (UTF-8) tells single calls, counted from 1 in the call
// log, to behave as a real renderer may, one instruction a line:
//   <call> print <text>         prints the text and CR LF in the OEM code page
//   <call> print-utf16 <text>   prints them in UTF-16 LE, as 3ds Max 2016 and later do
//   <call> wait <milliseconds>  takes that long before it ends
//   <call> no-output            writes no image
//   <call> cut <bytes>          writes only the image's first bytes (0: an empty file), as a
//                               renderer ended in the middle of writing leaves it
//   <call> size <width> <height>  writes the image at that size instead of the one asked
//   <call> console              prints "console-window yes" or "console-window no"
//   <call> exit <code>          ends with that exit code instead of 0
//   <call> busy <milliseconds>  works the processor that long before it waits or ends
//   <call> child                starts 3dsmax.exe beside the program, as the renderer starts
//                               3ds Max; a copy of the stand-in by that name only waits, ten
//                               minutes at most, to be ended with its parent's tree
// Lines print in the order they stand, after the stand-in's own first line.
//
// Record format, UTF-8, lengths in bytes so that any argument text reads back unambiguously:
//   call <argument count>\n
//   raw <length> <the whole command line>\n
//   arg <length> <argument>\n        once per argument, program name excluded
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "ImageBytes.h"
#include "StandIn.h"

namespace {

using standin::AppendToFile;
using standin::CountCalls;
using standin::ProgramFolder;
using standin::ReadWhole;
using standin::Utf8;

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

// A side of the image: its argument's number, or the default where it is none or not above 0.
std::uint32_t Side(std::wstring_view text, std::uint32_t otherwise) {
    constexpr std::uint32_t Largest = 4096;
    std::uint32_t value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return otherwise;
        value = std::min(value * 10 + static_cast<std::uint32_t>(c - L'0'), Largest * 10);
    }
    return value == 0 ? otherwise : std::min(value, Largest);
}

// The image a renderer would write under this name.
std::string ImageFor(const std::wstring& path, std::uint32_t width, std::uint32_t height) {
    const std::size_t dot = path.find_last_of(L'.');
    const std::size_t separator = path.find_last_of(L'\\');
    const std::wstring_view extension =
        dot == std::wstring::npos || (separator != std::wstring::npos && dot < separator)
            ? std::wstring_view()
            : std::wstring_view(path).substr(dot);
    std::string image = imagebytes::ForExtension(extension, width, height);
    return image.empty() ? std::string(16, '\x80') : image;
}

bool WriteImage(const std::wstring& path, std::string_view image) {
    const std::size_t separator = path.find_last_of(L'\\');
    if (separator != std::wstring::npos) CreateFolders(path.substr(0, separator));
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, image.data(), static_cast<DWORD>(image.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == image.size();
}

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    std::wstring text(utf8.size(), L'\0');
    text.resize(static_cast<std::size_t>(MultiByteToWideChar(
        CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), static_cast<int>(text.size()))));
    return text;
}

void Print(std::string_view bytes) {
    std::fflush(stdout);  // after what printf still holds
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

struct Plan {
    int exitCode = 0;
    DWORD wait = 0;
    DWORD busy = 0;
    bool output = true;
    bool child = false;
    std::optional<std::size_t> cut;
    std::optional<std::wstring> width, height;  // instead of the command line's
};

// Spins without sleeping, so that the processor time grows as a working renderer's does.
void Work(DWORD milliseconds) {
    const ULONGLONG until = GetTickCount64() + milliseconds;
    volatile unsigned long long sum = 0;
    while (GetTickCount64() < until) {
        for (int i = 0; i < 100000; ++i) sum = sum + static_cast<unsigned long long>(i);
    }
}

void StartChild() {
    std::wstring program = ProgramFolder() + L"\\3dsmax.exe";
    std::wstring line = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                       nullptr, nullptr, &startup, &info)) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
}

// Carries out this call's instructions that print, and returns the rest.
Plan FollowPlan(const std::string& instructions, int call) {
    Plan plan;
    std::size_t start = 0;
    while (start < instructions.size()) {
        std::size_t end = instructions.find('\n', start);
        if (end == std::string::npos) end = instructions.size();
        std::string line = instructions.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t verbAt = line.find(' ');
        if (verbAt == std::string::npos || std::atoi(line.c_str()) != call) continue;
        const std::size_t textAt = line.find(' ', verbAt + 1);
        const std::string verb = line.substr(verbAt + 1, textAt == std::string::npos ? std::string::npos
                                                                                     : textAt - verbAt - 1);
        const std::string text = textAt == std::string::npos ? std::string() : line.substr(textAt + 1);
        if (verb == "print") {
            const std::wstring wide = Wide(text) + L"\r\n";
            std::string bytes(wide.size() * 4, '\0');
            bytes.resize(static_cast<std::size_t>(
                WideCharToMultiByte(CP_OEMCP, 0, wide.data(), static_cast<int>(wide.size()),
                                    bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr)));
            Print(bytes);
        } else if (verb == "print-utf16") {
            const std::wstring wide = Wide(text) + L"\r\n";
            Print(std::string_view(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t)));
        } else if (verb == "console") {
            // What a default terminal would show the artist: a console window, or none.
            char said[64];
            const int length = std::snprintf(said, sizeof said, "console-window %s\r\n",
                                             GetConsoleWindow() ? "yes" : "no");
            Print(std::string_view(said, static_cast<std::size_t>(length)));
        } else if (verb == "wait") {
            plan.wait = static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 10));
        } else if (verb == "busy") {
            plan.busy = static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 10));
        } else if (verb == "child") {
            plan.child = true;
        } else if (verb == "no-output") {
            plan.output = false;
        } else if (verb == "exit") {
            plan.exitCode = std::atoi(text.c_str());
        } else if (verb == "cut") {
            plan.cut = static_cast<std::size_t>(std::strtoul(text.c_str(), nullptr, 10));
        } else if (verb == "size") {
            const std::wstring sides = Wide(text);
            const std::size_t blank = sides.find(L' ');
            plan.width = sides.substr(0, blank);
            plan.height = blank == std::wstring::npos ? std::wstring() : sides.substr(blank + 1);
        }
    }
    return plan;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring self(32768, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    if (self.size() >= 11 &&
        CompareStringOrdinal(self.c_str() + self.size() - 11, 11, L"\\3dsmax.exe", 11, TRUE) == CSTR_EQUAL) {
        Sleep(600000);
        return 0;
    }
    std::string record = "call " + std::to_string(argc - 1) + "\n";
    Field(record, "raw", GetCommandLineW());
    std::wstring outputName;
    std::wstring_view width, height;
    for (int i = 1; i < argc; ++i) {
        const std::wstring_view argument = argv[i];
        Field(record, "arg", argument);
        const auto take = [argument](std::wstring_view option, auto& value) {
            if (argument.size() > option.size() &&
                CompareStringOrdinal(argument.data(), static_cast<int>(option.size()), option.data(),
                                     static_cast<int>(option.size()), TRUE) == CSTR_EQUAL) {
                value = argument.substr(option.size());
            }
        };
        take(L"-outputName:", outputName);
        for (const std::wstring_view option : {L"-w:", L"-width:"}) take(option, width);
        for (const std::wstring_view option : {L"-h:", L"-height:"}) take(option, height);
    }
    const std::wstring log = ProgramFolder() + L"\\3dsmaxcmd-calls.log";
    std::string previous;
    ReadWhole(log, previous);
    const int call = CountCalls(previous) + 1;
    if (!AppendToFile(log, record)) {
        std::fputs("3dsmaxcmd stand-in: cannot write the call log\n", stderr);
        return 2;
    }
    std::printf("3dsmaxcmd stand-in: %d arguments recorded\n", argc - 1);
    std::string instructions;
    ReadWhole(ProgramFolder() + L"\\3dsmaxcmd-plan", instructions);
    const Plan plan = FollowPlan(instructions, call);
    std::fflush(stdout);
    if (plan.child) StartChild();
    if (plan.busy > 0) Work(plan.busy);
    if (plan.wait > 0) Sleep(plan.wait);
    const std::wstring hold = ProgramFolder() + L"\\3dsmaxcmd-hold";
    while (GetFileAttributesW(hold.c_str()) != INVALID_FILE_ATTRIBUTES) Sleep(20);
    if (plan.output && !outputName.empty()) {
        std::string image = ImageFor(outputName, Side(plan.width.value_or(std::wstring(width)), 4),
                                     Side(plan.height.value_or(std::wstring(height)), 3));
        if (plan.cut) image.resize(std::min(image.size(), *plan.cut));
        if (!WriteImage(outputName, image)) {
            std::fputs("3dsmaxcmd stand-in: cannot write the output image\n", stderr);
            return 3;
        }
    }
    return plan.exitCode;
}
