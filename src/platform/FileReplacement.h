#pragma once

#include <string>

// Putting a finished temporary file in its target's place, as plain code: which answer of
// ReplaceFileW leads to which step. Wine never gives the answers that leave files half moved, so
// the steps are tried here against every answer, with the file calls handed in.

namespace ravolen {

// The answers of ReplaceFileW (GetLastError's values) that decide a step; Win32Platform checks
// them against <winerror.h>.
namespace replace_error {
inline constexpr unsigned long None = 0;
inline constexpr unsigned long SharingViolation = 32;
inline constexpr unsigned long LockViolation = 33;
inline constexpr unsigned long UnableToRemoveReplaced = 1175;
inline constexpr unsigned long UnableToMoveReplacement = 1176;
inline constexpr unsigned long UnableToMoveReplacement2 = 1177;
inline constexpr unsigned long UserMappedFile = 1224;
}  // namespace replace_error

// What each answer left behind, as Windows' documentation of ReplaceFileW says (a backup name
// always given).
enum class ReplaceOutcome {
    Replaced,          // the target holds the new bytes, the old ones are under the backup's name
    TargetHeld,        // someone holds the target: nothing changed, and a rename cannot work either
    ReplacementKept,   // UNABLE_TO_MOVE_REPLACEMENT: both files keep their names
    TargetMovedAside,  // UNABLE_TO_MOVE_REPLACEMENT_2: the old file is under the backup's name and
                       // none under the target's; the new bytes are still in the temporary file
    Refused,           // any other answer: both files keep their names
};

inline ReplaceOutcome ReplaceOutcomeOf(unsigned long error) {
    using namespace replace_error;
    switch (error) {
        case None: return ReplaceOutcome::Replaced;
        case SharingViolation:
        case LockViolation:
        case UnableToRemoveReplaced:
        case UserMappedFile: return ReplaceOutcome::TargetHeld;
        case UnableToMoveReplacement: return ReplaceOutcome::ReplacementKept;
        case UnableToMoveReplacement2: return ReplaceOutcome::TargetMovedAside;
        default: return ReplaceOutcome::Refused;
    }
}

// The file calls a replacement makes.
class ReplacementCalls {
public:
    virtual ~ReplacementCalls() = default;
    // ReplaceFileW(target, temporary, backup): 0, or the error it answered.
    virtual unsigned long replace(const std::wstring& target, const std::wstring& temporary,
                                  const std::wstring& backup) = 0;
    // Renames `from` to `to`, taking the place of a file there, written through; false on failure.
    virtual bool rename(const std::wstring& from, const std::wstring& to) = 0;
    virtual void remove(const std::wstring& path) = 0;
};

// Puts `temporary`, complete and flushed, in `target`'s place: an existing target through
// ReplaceFileW, which keeps its permissions, attributes and streams, else (or where ReplaceFileW
// refused) by a rename. True when the target holds the new bytes. On failure the target keeps its
// old bytes, and a file that may hold the only copy of either is never deleted.
inline bool PutInPlace(ReplacementCalls& calls, bool targetExists, const std::wstring& target,
                       const std::wstring& temporary, const std::wstring& backup) {
    if (targetExists) {
        switch (ReplaceOutcomeOf(calls.replace(target, temporary, backup))) {
            case ReplaceOutcome::Replaced:
                calls.remove(backup);
                return true;
            case ReplaceOutcome::TargetHeld:
                calls.remove(temporary);
                return false;
            case ReplaceOutcome::ReplacementKept:
                // The new bytes are only in the temporary file: kept, whatever the rename does.
                return calls.rename(temporary, target);
            case ReplaceOutcome::TargetMovedAside:
                if (calls.rename(temporary, target)) {
                    calls.remove(backup);
                    return true;
                }
                calls.rename(backup, target);  // the old file back under its name
                return false;
            case ReplaceOutcome::Refused: break;
        }
    }
    if (calls.rename(temporary, target)) return true;
    calls.remove(temporary);
    return false;
}

}  // namespace ravolen
