#include "platform/TypedName.h"

#include <gtest/gtest.h>

namespace ravolen {
namespace {

// A dialog's answer goes back to the name as typed only where it is that name with one
// extension added; otherwise the answer stands.
TEST(TypedName, TheAnswerLosesOnlyAnExtensionTheDialogAdded) {
    struct Case {
        const wchar_t* answered;
        const wchar_t* typed;
        const wchar_t* path;
    };
    for (const Case& c : {
             Case{L"D:\\lists\\j.csv.xlsx", L"j.csv", L"D:\\lists\\j.csv"},
             Case{L"D:\\lists\\j.csv.xlsx", L"D:\\lists\\j.csv", L"D:\\lists\\j.csv"},
             Case{L"D:\\lists\\j.csv.xlsx", L"\"j.csv\"", L"D:\\lists\\j.csv"},
             Case{L"D:\\lists\\j.xlsx", L"sub/../j", L"D:\\lists\\j"},
             Case{L"D:\\lists\\j.XLSX.xlsx", L"j.XLSX", L"D:\\lists\\j.XLSX"},
             Case{L"D:\\lists\\夜景.list.xlsx", L"夜景.list", L"D:\\lists\\夜景.list"},
             Case{L"D:\\lists\\j.csv.xlsx", L"j.csv.xlsx", L"D:\\lists\\j.csv.xlsx"},  // typed so
             Case{L"D:\\lists\\j.csv", L"j.csv", L"D:\\lists\\j.csv"},
             Case{L"D:\\lists\\j.a.b", L"j", L"D:\\lists\\j.a.b"},      // more than one extension
             Case{L"D:\\lists\\jk.xlsx", L"j", L"D:\\lists\\jk.xlsx"},  // not the typed name
             Case{L"D:\\lists\\j.", L"j", L"D:\\lists\\j."},
             Case{L"D:\\lists\\j.xlsx", L"", L"D:\\lists\\j.xlsx"},  // nothing noted
         }) {
        EXPECT_EQ(PathAsTyped(c.answered, c.typed), c.path) << c.answered << " " << c.typed;
    }
}

}  // namespace
}  // namespace ravolen
