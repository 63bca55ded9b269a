#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "farm/FarmJobs.h"
#include "jobs/JobRows.h"
#include "render/NightGuard.h"
#include "render/RenderCommand.h"
#include "session/Session.h"

namespace ravolen {

// Everything the artist sets in the main window besides the rows and the unified boxes, which the
// rows hold as what they are read under. The controls write into it as
// they change; the script, the farm files, the job lists and the session are made from it, never
// from a control.
struct DocumentSettings {
    std::wstring installFolder = L"D:\\Program Files\\Autodesk\\3ds Max 2012";
    bool shutdown = false;  // 渲染完成后自动关机; never kept past the program's end
    RenderWay way = RenderWay::Local;  // never kept either: every start renders here
    DeadlineChoice deadline;
    BackburnerSettings backburner;
    NightOptions night;
    bool optionalColumns = false;  // 帧, 场景状态 and 渲染预设 shown

    bool operator==(const DocumentSettings&) const = default;
};

// The settings before any session: the unified folder beside the program, Deadline's tool where
// its installer put it.
DocumentSettings DefaultSettings(std::wstring_view deadlineFolder);
UnifiedChoice DefaultUnified(const std::wstring& programFolder);

// 渲  染 stays off once a night started here or was handed to Backburner, until 取消关机, or,
// for a night this program followed that does not end in a shutdown, until that night ends.
class RenderLatch {
public:
    void nightStarted(bool shutdownAfterwards) {
        latched_ = true;
        shutsDown_ = shutdownAfterwards;
    }
    void backburnerStarted() { nightStarted(true); }  // nothing here sees the farm's night end
    void shutdownCancelled() { latched_ = false; }
    // The followed night's script ended: true when that frees 渲  染 (no shutdown to wait for).
    bool followedNightEnded() {
        if (shutsDown_) return false;
        latched_ = false;
        return true;
    }
    bool latched() const { return latched_; }

private:
    bool latched_ = false;
    bool shutsDown_ = false;
};

// The one document the main window shows: the rows, the settings and the night's latch.
struct Document {
    JobRows rows;
    DocumentSettings settings;
    RenderLatch latch;
};

// What 渲  染 renders: every row, or the rows at these positions under the table's numbers
// (positions past the last row are passed over).
RenderRequest RenderRequestOf(const Document& document, bool shutdownAfterwards);
RenderRequest RenderRequestOf(const Document& document, const std::vector<std::size_t>& positions,
                              bool shutdownAfterwards);

// The settings as the session keeps them and back. What the session keeps of the window (its
// place, the results' sizes) is the window's to add; the shutdown and the way are never kept.
SessionSettings SessionSettingsOf(const DocumentSettings& settings, const UnifiedChoice& unified);
DocumentSettings SettingsOf(const SessionSettings& session, DocumentSettings settings);
UnifiedChoice UnifiedChoiceOf(const SessionSettings& session);

}  // namespace ravolen
