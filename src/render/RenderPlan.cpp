#include "render/RenderPlan.h"

#include <span>

#include "jobs/FrameList.h"

namespace ravolen {
namespace {

// The first row whose frames or preset 3ds Max would not take, and why: a renderer handed them
// would stop at that row in the middle of the night.
struct CellRefusal {
    std::size_t row = 0;  // from 0
    std::wstring message;
};

bool IsPresetFile(Platform& platform, const std::wstring& path) {
    return FoldCase(path).ends_with(L".rps") && platform.fileExists(path);
}

std::optional<CellRefusal> RefusedCell(Platform& platform, std::span<const RenderJob> rows) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const RenderJob& row = rows[i];
        if (row.frames != DefaultMarker && !ParseFrameList(row.frames)) {
            return CellRefusal{i, InvalidFramesMessage(i + 1, row.frames)};
        }
        if (row.preset != DefaultMarker && !IsPresetFile(platform, row.preset)) {
            return CellRefusal{i, InvalidPresetMessage(i + 1, row.preset)};
        }
    }
    return std::nullopt;
}

}  // namespace

std::wstring InvalidPresetMessage(std::size_t row, std::wstring_view path) {
    return L"第" + std::to_wstring(row) + L"行的渲染预设“" + std::wstring(path) + L"”不是存在的.rps文件";
}

RenderPlan PlanRender(Platform& platform, const RenderRequest& request,
                      const RenderWayChoice& choice) {
    RenderPlan plan;
    plan.way = choice.way;
    const bool farm = choice.way != RenderWay::Local;
    if (farm && request.shutdownAfterwards) {
        plan.shutdownNote = L"农场渲染不在本机进行，“渲染完成后自动关机”不适用，本机不会关机。";
    }
    // On a farm nothing renders here: no script of it shuts this computer down. Deadline's rows
    // are checked by the same rules as a script's, so that no way takes what another refuses.
    // A refused cell stops the table at its row, as a refused script does: the rows before it are
    // composed (and checked) on their own, without the final line.
    const std::optional<CellRefusal> cell = RefusedCell(platform, request.rows);
    const std::span<const RenderJob> rows =
        std::span<const RenderJob>(request.rows).first(cell ? cell->row : request.rows.size());
    plan.script = ComposeRenderScript(request.installFolder, rows,
                                      !cell && !farm && request.shutdownAfterwards,
                                      platform.scriptCodec(),
                                      choice.way == RenderWay::Backburner ? &choice.backburner : nullptr,
                                      choice.way == RenderWay::Local ? request.retries : 0);
    if (plan.script.refusal || cell) {
        if (plan.script.refusal) {
            plan.refusal = RefusalMessage(*plan.script.refusal);
        } else {
            plan.script.bytes.resize(plan.script.bytes.size() - EmptyFinalLine.size());
            plan.refusal = cell->message;
        }
        plan.rewriteRefused = choice.way != RenderWay::Deadline;
        return plan;
    }
    if (choice.way == RenderWay::Deadline) {
        if (request.rows.empty()) {
            plan.refusal = L"任务列表是空的，没有可提交的任务。";
            return plan;
        }
        if (!platform.fileExists(choice.deadline.command)) {
            plan.refusal = L"找不到Deadline的提交程序：" + choice.deadline.command + L"，没有提交任何任务。";
            return plan;
        }
        for (const RenderJob& row : request.rows) {
            plan.deadline.push_back(DeadlineFilesOf(request.installFolder, row, choice.deadline.settings));
        }
    }
    if (farm) {
        plan.question = LocalPathQuestion(
            request.rows, [&platform](const std::wstring& path) { return platform.onNetwork(path); });
    }
    return plan;
}

}  // namespace ravolen
