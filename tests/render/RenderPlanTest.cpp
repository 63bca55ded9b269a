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

}  // namespace
}  // namespace ravolen
