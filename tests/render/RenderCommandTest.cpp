#include "render/RenderCommand.h"

#include <gtest/gtest.h>

#include "render/RenderScript.h"
#include "support/FakePlatform.h"

namespace ravolen {
namespace {

using test::FakePlatform;

const std::wstring ScriptFolder = L"C:\\Tools\\Ravolen\\bat";
const std::wstring ScriptPath = L"C:\\Tools\\Ravolen\\bat\\Render.bat";

RenderRequest Request(std::vector<RenderJob> rows, bool shutdown = false) {
    return {L"D:\\Max", std::move(rows), shutdown};
}

RenderJob Job(std::wstring scene, std::wstring name = L"a.tga") {
    return {std::move(scene), L"默认", L"F:\\out", std::move(name), L"默认", L"默认"};
}

TEST(StartRender, WritesTheScriptIntoItsFolderThenStartsItHidden) {
    FakePlatform platform;
    const RenderRequest request = Request({Job(L"E:\\a.max"), Job(L"E:\\b.max")}, true);

    EXPECT_TRUE(StartRender(platform, request));

    EXPECT_EQ(platform.calls, (std::vector<std::wstring>{
                                  L"createFolder " + ScriptFolder,
                                  L"writeFile " + ScriptPath,
                                  L"startProcess \"C:\\windows\\system32\\cmd.exe\" /d /v:off /c "
                                  L".\\Render.bat",
                              }));
    EXPECT_EQ(platform.files[ScriptPath],
              ComposeRenderScript(L"D:\\Max", request.rows, true, platform.scriptCodec()).bytes);
    ASSERT_EQ(platform.started.size(), 1u);
    EXPECT_EQ(platform.started[0], ScriptLaunch(L"C:\\windows\\system32", ScriptFolder));
    EXPECT_TRUE(platform.messages.empty());
}

TEST(StartRender, ARefusedRowIsReportedAndNothingStarts) {
    FakePlatform platform;
    EXPECT_FALSE(StartRender(platform, Request({Job(L"E:\\a.max"), Job(L"E:\\b.max", L"")})));

    EXPECT_TRUE(platform.started.empty());
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, L"请填写 E:\\b.max 的渲染输出路径");
    EXPECT_EQ(platform.messages[0].icon, MessageIcon::None);
    // The rows before the refused one stay in the file, as they would in a file written line by line.
    const std::string& bytes = platform.files[ScriptPath];
    EXPECT_NE(bytes.find("E:\\a.max"), std::string::npos);
    EXPECT_EQ(bytes.find("E:\\b.max"), std::string::npos);
    EXPECT_EQ(bytes.substr(bytes.size() - 4), " \n\r\n");
}

TEST(StartRender, AScriptThatCannotBeWrittenOrStartedIsReportedWithItsPath) {
    struct Case {
        bool FakePlatform::*failure;
        std::wstring message;
    };
    const Case cases[] = {
        {&FakePlatform::failCreateFolder, L"无法写入渲染脚本：" + ScriptPath},
        {&FakePlatform::failWrite, L"无法写入渲染脚本：" + ScriptPath},
        {&FakePlatform::failStart, L"无法启动渲染脚本：" + ScriptPath},
    };
    for (const Case& failing : cases) {
        SCOPED_TRACE(testing::PrintToString(failing.message));
        FakePlatform platform;
        platform.*failing.failure = true;
        EXPECT_FALSE(StartRender(platform, Request({Job(L"E:\\a.max")})));
        EXPECT_TRUE(platform.started.empty());
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text, failing.message);
    }
}

TEST(StartRender, AnEmptyTableStillStartsAScriptHoldingOnlyTheFinalLine) {
    FakePlatform platform;
    EXPECT_TRUE(StartRender(platform, Request({}, true)));
    EXPECT_EQ(platform.files[ScriptPath].rfind("shutdown -s -t 120 -c \"", 0), 0u);
    EXPECT_EQ(platform.started.size(), 1u);
}

}  // namespace
}  // namespace ravolen
