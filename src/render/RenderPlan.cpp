#include "render/RenderPlan.h"

namespace ravolen {

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
    plan.script = ComposeRenderScript(request.installFolder, request.rows,
                                      !farm && request.shutdownAfterwards, platform.scriptCodec(),
                                      choice.way == RenderWay::Backburner ? &choice.backburner : nullptr,
                                      choice.way == RenderWay::Local ? request.retries : 0);
    if (plan.script.refusal) {
        plan.refusal = RefusalMessage(*plan.script.refusal);
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
