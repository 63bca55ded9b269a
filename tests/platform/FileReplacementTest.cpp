#include "platform/FileReplacement.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>

namespace ravolen {
namespace {

const std::wstring Target = L"C:\\R\\session.csv";
const std::wstring Temporary = L"C:\\R\\session.csv.ravolen-7-9";
const std::wstring Backup = L"C:\\R\\session.csv.ravolen-backup-7-9";

using Files = std::map<std::wstring, std::string>;

// A folder that does to its files what Windows' documentation of ReplaceFileW says each answer
// left behind, and renames as told unless a rename is to fail.
class Folder final : public ReplacementCalls {
public:
    Files files;
    unsigned long answer = 0;
    std::set<std::pair<std::wstring, std::wstring>> failing;  // renames that fail

    unsigned long replace(const std::wstring& target, const std::wstring& temporary,
                          const std::wstring& backup) override {
        if (answer == replace_error::None) {
            files[backup] = take(target);
            files[target] = take(temporary);
        } else if (answer == replace_error::UnableToMoveReplacement2) {
            files[backup] = take(target);  // the temporary keeps its name
        }
        return answer;  // any other answer: both files keep their names
    }
    bool rename(const std::wstring& from, const std::wstring& to) override {
        if (failing.count({from, to}) || !files.count(from)) return false;
        files[to] = take(from);
        return true;
    }
    void remove(const std::wstring& path) override { files.erase(path); }

private:
    std::string take(const std::wstring& path) {
        const std::string bytes = files.at(path);
        files.erase(path);
        return bytes;
    }
};

// Each answer, with the renames that may follow it failing or not: on success the target holds
// the new bytes and nothing else is left; on failure the old bytes are still under the target's
// name (or, when even putting them back failed, under the backup's), and after the two answers
// that leave the new bytes only in the temporary file, that file is still there.
TEST(FileReplacement, EveryAnswerOfReplaceFileLeadsToTheTargetWholeAndNothingLost) {
    using namespace replace_error;
    struct Case {
        const char* what;
        bool targetExists;
        unsigned long answer;
        bool moveFails;     // the temporary cannot be renamed to the target
        bool restoreFails;  // the backup cannot be renamed back
        bool replaced;
        Files after;
    };
    const Files newOnly{{Target, "new"}};
    const Files oldOnly{{Target, "old"}};
    const Files oldAndTemporary{{Target, "old"}, {Temporary, "new"}};
    const Case cases[] = {
        {"replaced", true, None, false, false, true, newOnly},
        {"sharing violation", true, SharingViolation, false, false, false, oldOnly},
        {"lock violation", true, LockViolation, false, false, false, oldOnly},
        {"unable to remove replaced", true, UnableToRemoveReplaced, false, false, false, oldOnly},
        {"user-mapped file", true, UserMappedFile, false, false, false, oldOnly},
        {"unable to move replacement, renamed", true, UnableToMoveReplacement, false, false, true, newOnly},
        {"unable to move replacement, rename fails", true, UnableToMoveReplacement, true, false, false,
         oldAndTemporary},
        {"unable to move replacement 2, renamed", true, UnableToMoveReplacement2, false, false, true, newOnly},
        {"unable to move replacement 2, rename fails", true, UnableToMoveReplacement2, true, false, false,
         oldAndTemporary},
        {"unable to move replacement 2, backup cannot go back", true, UnableToMoveReplacement2, true, true,
         false, {{Backup, "old"}, {Temporary, "new"}}},
        {"access denied, renamed", true, 5, false, false, true, newOnly},
        {"access denied, rename fails", true, 5, true, false, false, oldOnly},
        {"no target, renamed", false, None, false, false, true, newOnly},
        {"no target, rename fails", false, None, true, false, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Folder folder;
        folder.files = {{Temporary, "new"}};
        if (c.targetExists) folder.files[Target] = "old";
        folder.answer = c.answer;
        if (c.moveFails) folder.failing.insert({Temporary, Target});
        if (c.restoreFails) folder.failing.insert({Backup, Target});
        EXPECT_EQ(PutInPlace(folder, c.targetExists, Target, Temporary, Backup), c.replaced);
        EXPECT_EQ(folder.files, c.after);
    }
}

}  // namespace
}  // namespace ravolen
