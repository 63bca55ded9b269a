// Stands in for Thinkbox Deadline's deadlinecommand.exe as Ravolen calls it:
//   deadlinecommand.exe <job info file> <plugin info file>
// Each call appends a record to deadlinecommand-calls.log beside the program, with its arguments
// and the exact bytes of the files they name, then prints "Result=Success" and "JobID=<n>".
// Beside the program, a file deadlinecommand-refuse holding a call number makes that call print an
// error and exit with 1; while a file deadlinecommand-hold lies there, each call waits first.
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

int wmain(int argc, wchar_t** argv) {
    const std::wstring folder = ProgramFolder();
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

    std::string refuse;
    if (ReadWhole(folder + L"\\deadlinecommand-refuse", refuse) && std::atoi(refuse.c_str()) == call) {
        std::printf("Deadline Command stand-in\nError: the repository refused job %d\n", call);
        return 1;
    }
    std::printf("Deadline Command stand-in\nSubmitting job...\nResult=Success\nJobID=%04d\n", call);
    return 0;
}
