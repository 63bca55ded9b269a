#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "farm/FarmJobs.h"
#include "platform/Platform.h"
#include "render/RenderCommand.h"
#include "render/RenderScript.h"

namespace ravolen {

// How 渲  染 goes, with the farms' settings.
struct RenderWayChoice {
    RenderWay way = RenderWay::Local;
    BackburnerSettings backburner;
    DeadlineChoice deadline;
};

// What pressing 渲  染 does with a table, decided once for every way: refused (and why), a script
// to run here, a script that hands each row to Backburner, or Deadline's job files, one pair a
// row. Every check of every way is made here, a row's frames and preset among them (a frame list
// 3ds Max takes, an existing .rps file); nothing is shown and nothing is started.
struct RenderPlan {
    RenderWay way = RenderWay::Local;
    // Why the table cannot go, as the message says it.
    std::optional<std::wstring> refusal;
    // A refused table's script is written all the same (the way's script, with the rows before the
    // refused one), so that bat\Render.bat never holds an older, complete script.
    bool rewriteRefused = false;
    ComposedScript script;                  // here and Backburner
    std::vector<DeadlineRowFiles> deadline;  // Deadline: row k's files
    // A farm: the question to ask before anything is handed over (empty: none), and the line the
    // closing message adds when 渲染完成后自动关机 was ticked.
    std::wstring question;
    std::wstring shutdownNote;
};

// Why 渲  染 refuses the 渲染预设 cell of row `row` (1-based): not a .rps file (any letter case), or
// none there.
std::wstring InvalidPresetMessage(std::size_t row, std::wstring_view path);

// Plans the request for the chosen way. Asks the platform only what a plan needs to know: which
// paths lie on the network, whether Deadline's tool is there, and the script's code page.
RenderPlan PlanRender(Platform& platform, const RenderRequest& request,
                      const RenderWayChoice& choice);

// Starts a planned script here or for Backburner: writes bat\Render.bat and starts it hidden in the
// render job (see StartRender). Shows nothing: what went wrong comes back in `failure`.
RenderStart StartPlannedScript(Platform& platform, const RenderRequest& request,
                               const RenderPlan& plan);

}  // namespace ravolen
