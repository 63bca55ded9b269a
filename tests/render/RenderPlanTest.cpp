#include "render/RenderPlan.h"

#include <gtest/gtest.h>

#include "support/FakePlatform.h"

namespace ravolen {
namespace {

using test::FakePlatform;

RenderJob Job(std::wstring scene, std::wstring name = L"a.tga") {
    return {std::move(scene), L"默认", L"F:\\out", std::move(name), L"默认", L"默认"};
}

// Every way's checks in one place, in the order the artist meets them; nothing is shown.
TEST(RenderPlan, EachWayIsCheckedOnceAndComposedOnce) {
    const std::vector<RenderJob> rows = {Job(L"\\\\farm\\a.max"), Job(L"E:\\b.max")};
    const std::vector<RenderJob> refused = {Job(L"E:\\a.max", L"")};
    const BackburnerSettings backburner{L"render01", 3234, 50, false};
    const DeadlineChoice deadline{L"N:\\Deadline\\deadlinecommand.exe", {}};
    const std::wstring question = LocalPathQuestion(rows, [](const std::wstring& path) {
        return path.starts_with(L"\\\\");
    });
    const std::wstring note = L"农场渲染不在本机进行，“渲染完成后自动关机”不适用，本机不会关机。";
    const struct {
        const char* name;
        RenderWay way;
        std::vector<RenderJob> rows;
        bool deadlineThere;
        std::optional<std::wstring> refusal;
        bool rewriteRefused;
        std::wstring question;
    } cases[] = {
        {"here", RenderWay::Local, rows, true, std::nullopt, false, L""},
        {"here, refused", RenderWay::Local, refused, true, L"请填写 E:\\a.max 的渲染输出路径", true, L""},
        {"backburner", RenderWay::Backburner, rows, true, std::nullopt, false, question},
        {"backburner, refused", RenderWay::Backburner, refused, true, L"请填写 E:\\a.max 的渲染输出路径", true, L""},
        {"deadline", RenderWay::Deadline, rows, true, std::nullopt, false, question},
        {"deadline, refused", RenderWay::Deadline, refused, true, L"请填写 E:\\a.max 的渲染输出路径", false, L""},
        {"deadline, empty", RenderWay::Deadline, {}, true, L"任务列表是空的，没有可提交的任务。", false, L""},
        {"deadline, no tool", RenderWay::Deadline, rows, false,
         L"找不到Deadline的提交程序：N:\\Deadline\\deadlinecommand.exe，没有提交任何任务。", false, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakePlatform platform;
        if (!c.deadlineThere) platform.missingFiles = {deadline.command};
        const RenderRequest request{L"D:\\Max", c.rows, true};
        const RenderPlan plan = PlanRender(platform, request, {c.way, backburner, deadline});
        EXPECT_EQ(plan.refusal, c.refusal);
        EXPECT_EQ(plan.rewriteRefused, c.rewriteRefused);
        EXPECT_EQ(plan.question, c.question);
        EXPECT_EQ(plan.shutdownNote, c.way == RenderWay::Local ? L"" : note);
        EXPECT_TRUE(platform.messages.empty() && platform.questions.empty() && platform.started.empty());
        if (c.refusal) {
            EXPECT_TRUE(plan.deadline.empty());
            continue;
        }
        // The script the start writes: here with the shutdown asked for, on a farm never.
        EXPECT_EQ(plan.script.bytes,
                  ComposeRenderScript(L"D:\\Max", c.rows, c.way == RenderWay::Local, test::Cp936(),
                                      c.way == RenderWay::Backburner ? &backburner : nullptr).bytes);
        ASSERT_EQ(plan.deadline.size(), c.way == RenderWay::Deadline ? c.rows.size() : 0u);
        for (std::size_t k = 0; k < plan.deadline.size(); ++k) {
            EXPECT_EQ(plan.deadline[k], DeadlineFilesOf(L"D:\\Max", c.rows[k], deadline.settings));
        }
    }
}

RenderJob Extras(std::wstring scene, std::wstring frames, std::wstring state, std::wstring preset) {
    RenderJob job = Job(std::move(scene));
    job.frames = std::move(frames);
    job.sceneState = std::move(state);
    job.preset = std::move(preset);
    return job;
}

// A frame list 3ds Max would not take, or a preset that is not there, stops the table at its row
// before anything starts, as a cell the script cannot write does: the script keeps the rows before.
TEST(RenderPlan, FramesAndPresetsAreCheckedBeforeAnythingStarts) {
    const RenderJob fine = Extras(L"E:\\a.max", L"1, 3, 5-12", L"任意的 状态", L"D:\\p\\Final.RPS");
    const std::string fineLine =
        "\"D:\\Max\\3dsmaxcmd.exe\" \"E:\\a.max\" -continueOnError -skipRenderedFrames:1 "
        "-outputName:\"F:\\out\\a.tga\" -frames:1,3,5-12 -sceneState:\"" +
        test::Cp936().encode(L"任意的 状态").value() + "\" -preset:\"D:\\p\\Final.RPS\" \n\r\n";
    const auto frames = [](std::wstring text) { return Extras(L"E:\\b.max", std::move(text), L"默认", L"默认"); };
    const auto preset = [](std::wstring path) { return Extras(L"E:\\b.max", L"默认", L"默认", std::move(path)); };
    const struct {
        std::vector<RenderJob> rows;
        std::optional<std::wstring> refusal;
        std::string bytes;  // the script as written, refused or not
    } cases[] = {
        {{fine}, std::nullopt, fineLine + "\r\n"},
        {{fine, frames(L"5-")}, L"第2行的帧“5-”不是有效的帧范围（例如 12、0-100、1,3,5-12）", fineLine},
        {{frames(L"3-1"), fine}, L"第1行的帧“3-1”不是有效的帧范围（例如 12、0-100、1,3,5-12）", ""},
        {{fine, fine, frames(L" a ")}, L"第3行的帧“ a ”不是有效的帧范围（例如 12、0-100、1,3,5-12）", fineLine + fineLine},
        {{frames(L"")}, L"第1行的帧“”不是有效的帧范围（例如 12、0-100、1,3,5-12）", ""},
        {{fine, preset(L"D:\\p\\draft.txt")}, L"第2行的渲染预设“D:\\p\\draft.txt”不是存在的.rps文件", fineLine},
        {{preset(L"D:\\p\\gone.rps")}, L"第1行的渲染预设“D:\\p\\gone.rps”不是存在的.rps文件", ""},
        {{preset(L"D:\\p\\draft.rps.bak")}, L"第1行的渲染预设“D:\\p\\draft.rps.bak”不是存在的.rps文件", ""},
        // The first fault of the table, whichever kind it is.
        {{Job(L"E:\\x.max", L""), frames(L"1,,2")}, L"请填写 E:\\x.max 的渲染输出路径", ""},
        {{frames(L"1,,2"), Job(L"E:\\x.max", L"")}, L"第1行的帧“1,,2”不是有效的帧范围（例如 12、0-100、1,3,5-12）", ""},
        {{fine, Extras(L"E:\\b.max", L"-1", L"默认", L"D:\\p\\gone.rps")},
         L"第2行的帧“-1”不是有效的帧范围（例如 12、0-100、1,3,5-12）", fineLine},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.refusal.value_or(L"")));
        for (const RenderWay way : {RenderWay::Local, RenderWay::Backburner, RenderWay::Deadline}) {
            FakePlatform platform;
            platform.missingFiles = {L"D:\\p\\gone.rps"};
            const RenderRequest request{L"D:\\Max", c.rows, false};
            const RenderPlan plan = PlanRender(platform, request, {way, {L"bb", 3234, 50, false}, {L"N:\\dc.exe", {}}});
            EXPECT_EQ(plan.refusal, c.refusal);
            EXPECT_EQ(plan.rewriteRefused, c.refusal && way != RenderWay::Deadline);
            if (way == RenderWay::Local) {
                EXPECT_EQ(plan.script.bytes, c.bytes);
            }
            EXPECT_EQ(plan.deadline.size(), c.refusal || way != RenderWay::Deadline ? 0u : c.rows.size());
        }
    }
}

}  // namespace
}  // namespace ravolen
