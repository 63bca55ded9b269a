// Stands in for Thinkbox Deadline's deadlinecommand.exe as Ravolen calls it:
//   deadlinecommand.exe <job info file> <plugin info file>
// Each call appends a record to deadlinecommand-calls.log beside the program, with its arguments
// and the exact bytes of the files they name, then prints "Result=Success" and "JobID=<n>".
// Beside the program, a file deadlinecommand-refuse holding a call number makes that call print an
// error and exit with 1; while a file deadlinecommand-hold lies there, each call waits first.
// A file deadlinecommand-hang makes each call hang for good after recording itself, as a tool
// whose repository never answers: holding "silent" it prints nothing, otherwise it prints a first
// line; either way it first starts a copy of itself that hangs too and writes its process id to
// deadlinecommand-child.pid, so that a test can see the whole tree ended.
//
// Record format, lengths in bytes so that any content reads back unambiguously:
//   call <argument count>\n
//   arg <length> <argument, UTF-8>\n      once per argument
//   file <length> <the file's bytes>\n   once per argument that names a readable file
#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "StandIn.h"

namespace {

using standin::AppendToFile;
using standin::CountCalls;
using standin::ProgramFolder;
using standin::ReadWhole;
using standin::Utf8;

}  // namespace

// Started by a hanging call: waits for ever, as a helper process of the tool might.
void HangAsChild(const std::wstring& folder) {
    const std::string id = std::to_string(GetCurrentProcessId());
    const HANDLE file = CreateFileW((folder + L"\\deadlinecommand-child.pid").c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    DWORD written = 0;
    WriteFile(file, id.data(), static_cast<DWORD>(id.size()), &written, nullptr);
    CloseHandle(file);
    Sleep(INFINITE);
}

void Hang(const std::string& how) {
    if (how.rfind("silent", 0) != 0) {
        std::printf("Deadline Command stand-in\nConnecting to the repository...\n");
        std::fflush(stdout);
    }
    std::wstring self(32768, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    std::wstring commandLine = L"\"" + self + L"\" --hang-child";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessW(self.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       nullptr, &startup, &info)) {
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
    Sleep(INFINITE);
}

int wmain(int argc, wchar_t** argv) {
    const std::wstring folder = ProgramFolder();
    if (argc == 2 && std::wstring_view(argv[1]) == L"--hang-child") HangAsChild(folder);
    while (GetFileAttributesW((folder + L"\\deadlinecommand-hold").c_str()) != INVALID_FILE_ATTRIBUTES) {
        Sleep(20);
    }
    const std::wstring log = folder + L"\\deadlinecommand-calls.log";
    std::string previous;
    ReadWhole(log, previous);
    const int call = CountCalls(previous) + 1;

    std::string record = "call " + std::to_string(argc - 1) + "\n";
    for (int i = 1; i < argc; ++i) {
        const std::string argument = Utf8(argv[i]);
        record += "arg " + std::to_string(argument.size()) + " " + argument + "\n";
    }
    for (int i = 1; i < argc; ++i) {
        std::string bytes;
        if (ReadWhole(argv[i], bytes)) record += "file " + std::to_string(bytes.size()) + " " + bytes + "\n";
    }
    AppendToFile(log, record);

    if (std::string how; ReadWhole(folder + L"\\deadlinecommand-hang", how)) Hang(how);

    std::string refuse;
    if (ReadWhole(folder + L"\\deadlinecommand-refuse", refuse) && std::atoi(refuse.c_str()) == call) {
        std::printf("Deadline Command stand-in\nError: the repository refused job %d\n", call);
        return 1;
    }
    std::printf("Deadline Command stand-in\nSubmitting job...\nResult=Success\nJobID=%04d\n", call);
    return 0;
}
