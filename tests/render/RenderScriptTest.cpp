#include "render/RenderScript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

#include "support/TestCodec.h"

namespace ravolen {
namespace {

using test::Cp936;

constexpr std::wstring_view DefaultInstall = L"D:\\Program Files\\Autodesk\\3ds Max 2012";
constexpr std::string_view JobEnd = "\n\r\n";  // the line feed of the line, then CR LF

std::string Gbk(std::wstring_view text) { return Cp936().encode(text).value(); }

RenderJob Job(std::wstring scene, std::wstring camera = L"默认", std::wstring width = L"默认",
              std::wstring height = L"默认", std::wstring folder = L"F:\\out",
              std::wstring name = L"a.tga") {
    return {std::move(scene), std::move(camera), std::move(folder),
            std::move(name),  std::move(width),  std::move(height)};
}

ComposedScript Compose(const std::vector<RenderJob>& rows, bool shutdown = false,
                       std::wstring_view install = DefaultInstall) {
    return ComposeRenderScript(install, rows, shutdown, Cp936());
}

// The job line of a single row, without its ending.
std::string LineOf(const RenderJob& job, std::wstring_view install = DefaultInstall) {
    const ComposedScript script = Compose({job}, false, install);
    EXPECT_FALSE(script.refusal);
    const std::size_t end = script.bytes.find(JobEnd);
    EXPECT_NE(end, std::string::npos);
    return script.bytes.substr(0, end);
}

std::optional<ScriptRefusal> RefusalOf(const RenderJob& job,
                                       std::wstring_view install = DefaultInstall) {
    return Compose({job}, false, install).refusal;
}

const std::string Prefix =
    "\"D:\\Program Files\\Autodesk\\3ds Max 2012\\3dsmaxcmd.exe\" \"E:\\s.max\" "
    "-continueOnError -skipRenderedFrames:1 ";

TEST(RenderScript, WorkedExampleByteForByte) {
    const std::vector<RenderJob> rows = {
        {L"E:\\work\\lobby.max", L"默认", L"E:\\work\\renderOutput", L"lobby.tga", L"默认", L"默认"},
        {L"E:\\work\\hall.max", L"Camera01", L"F:\\out", L"hall.jpg", L"1600", L"1200"},
    };
    const ComposedScript script = Compose(rows, true);

    ASSERT_FALSE(script.refusal);
    const std::string shutdownLine =
        "shutdown -s -t 120 -c \""
        "\xe4\xd6\xc8\xbe\xcd\xea\xb3\xc9\xa3\xa1\xbd\xab\xd4\xda" "120"
        "\xc3\xeb\xba\xf3\xb9\xd8\xbb\xfa\xa3\xa1\xc8\xe7\xd2\xaa\xc8\xa1\xcf\xfb\xb9\xd8\xbb\xfa"
        "\xa3\xac\xc7\xeb\xb4\xf2\xbf\xaa\xa1\xb0" "Ravolen"
        "\xa1\xb1\xb3\xcc\xd0\xf2\xba\xf3\xa3\xac\xb5\xe3\xbb\xf7\xa1\xb0\xc8\xa1\xcf\xfb\xb9\xd8"
        "\xbb\xfa\xa1\xb1\xb0\xb4\xc5\xa5\xa3\xa1\"";
    EXPECT_EQ(script.bytes,
              "\"D:\\Program Files\\Autodesk\\3ds Max 2012\\3dsmaxcmd.exe\" \"E:\\work\\lobby.max\" "
              "-continueOnError -skipRenderedFrames:1 "
              "-outputName:\"E:\\work\\renderOutput\\lobby.tga\" \n\r\n"
              "\"D:\\Program Files\\Autodesk\\3ds Max 2012\\3dsmaxcmd.exe\" \"E:\\work\\hall.max\" "
              "-continueOnError -skipRenderedFrames:1 -cam:Camera01 -w:1600 -h:1200 "
              "-outputName:\"F:\\out\\hall.jpg\" \n\r\n" +
                  shutdownLine + "\r\n");
}

TEST(RenderScript, FinalLineIsEmptyWithoutShutdownAndAloneForAnEmptyTable) {
    EXPECT_EQ(Compose({}, false).bytes, "\r\n");
    EXPECT_EQ(Compose({}, true).bytes.rfind("shutdown -s -t 120 -c \"", 0), 0u);

    const ComposedScript one = Compose({Job(L"E:\\s.max")}, false);
    EXPECT_EQ(one.bytes.substr(one.bytes.size() - 6), " \n\r\n\r\n");
}

TEST(RenderScript, OptionsAppearOnlyForCellsThatDoNotHoldTheMarker) {
    EXPECT_EQ(LineOf(Job(L"E:\\s.max")), Prefix + "-outputName:\"F:\\out\\a.tga\" ");
    EXPECT_EQ(LineOf(Job(L"E:\\s.max", L"C1", L"默认", L"720")),
              Prefix + "-cam:C1 -h:720 -outputName:\"F:\\out\\a.tga\" ");
    // Only the exact marker counts: an empty cell still writes its option.
    EXPECT_EQ(LineOf(Job(L"E:\\s.max", L"", L"", L"")),
              Prefix + "-cam: -w: -h: -outputName:\"F:\\out\\a.tga\" ");
    // A marker with a blank beside it is a camera name like any other, quoted for its blank.
    EXPECT_EQ(LineOf(Job(L"E:\\s.max", L" 默认", L"默认 ")),
              Prefix + "-cam:\" " + Gbk(L"默认") + "\" -w:\"" + Gbk(L"默认") +
                  " \" -outputName:\"F:\\out\\a.tga\" ");
}

TEST(RenderScript, FoldersAreJoinedWithOneSeparatorWhateverTheyEndWith) {
    EXPECT_EQ(LineOf(Job(L"E:\\s.max", L"默认", L"默认", L"默认", L"F:\\out\\", L"a.tga")),
              Prefix + "-outputName:\"F:\\out\\\\a.tga\" ");
    EXPECT_EQ(LineOf(Job(L"E:\\s.max"), L"C:\\Max\\"),
              "\"C:\\Max\\\\3dsmaxcmd.exe\" \"E:\\s.max\" -continueOnError "
              "-skipRenderedFrames:1 -outputName:\"F:\\out\\a.tga\" ");
}

TEST(RenderScript, ChineseTextIsWrittenInCodePage936) {
    const std::string line =
        LineOf(Job(L"E:\\场景\\大厅.max", L"相机01", L"默认", L"默认", L"F:\\出图", L"大厅.tga"));
    EXPECT_NE(line.find("\"E:\\" + Gbk(L"场景\\大厅.max") + "\""), std::string::npos);
    EXPECT_NE(line.find("-cam:" + Gbk(L"相机01") + " "), std::string::npos);
    EXPECT_NE(line.find("-outputName:\"F:\\" + Gbk(L"出图\\大厅.tga") + "\" "), std::string::npos);
}

// Each text alone holding '%', so that the row is otherwise as plain as rows come, and all of
// them at once.
TEST(RenderScript, EveryPercentSignIsDoubledSoCmdReadsItBackAsOne) {
    const std::string renderer = "\"D:\\Program Files\\Autodesk\\3ds Max 2012\\3dsmaxcmd.exe\" ";
    const std::string switches = "-continueOnError -skipRenderedFrames:1 ";
    const struct {
        RenderJob job;
        std::wstring_view install;
        std::string line;
    } cases[] = {
        {Job(L"D:\\100%\\a.max"), DefaultInstall,
         renderer + "\"D:\\100%%\\a.max\" " + switches + "-outputName:\"F:\\out\\a.tga\" "},
        {Job(L"E:\\s.max", L"%USERNAME%"), DefaultInstall,
         Prefix + "-cam:%%USERNAME%% -outputName:\"F:\\out\\a.tga\" "},
        {Job(L"E:\\s.max", L"默认", L"1%"), DefaultInstall, Prefix + "-w:1%% -outputName:\"F:\\out\\a.tga\" "},
        {Job(L"E:\\s.max", L"默认", L"默认", L"%2"), DefaultInstall, Prefix + "-h:%%2 -outputName:\"F:\\out\\a.tga\" "},
        {Job(L"E:\\s.max", L"默认", L"默认", L"默认", L"F:\\100%"), DefaultInstall,
         Prefix + "-outputName:\"F:\\100%%\\a.tga\" "},
        {Job(L"E:\\s.max", L"默认", L"默认", L"默认", L"F:\\out", L"%~dp0.tga"), DefaultInstall,
         Prefix + "-outputName:\"F:\\out\\%%~dp0.tga\" "},
        {Job(L"E:\\s.max"), L"C:\\%ProgramFiles%\\Max",
         "\"C:\\%%ProgramFiles%%\\Max\\3dsmaxcmd.exe\" \"E:\\s.max\" " + switches +
             "-outputName:\"F:\\out\\a.tga\" "},
        {Job(L"D:\\100%\\a.max", L"%USERNAME%", L"1%", L"%2", L"F:\\%OUT%", L"%~dp0.tga"),
         L"C:\\%ProgramFiles%\\Max",
         "\"C:\\%%ProgramFiles%%\\Max\\3dsmaxcmd.exe\" \"D:\\100%%\\a.max\" " + switches +
             "-cam:%%USERNAME%% -w:1%% -h:%%2 -outputName:\"F:\\%%OUT%%\\%%~dp0.tga\" "},
    };
    for (const auto& c : cases) EXPECT_EQ(LineOf(c.job, c.install), c.line);
}

TEST(RenderScript, OptionValuesThatWouldSplitOrStartACommandAreQuoted) {
    for (std::wstring camera : {L"Camera 01", L"a\tb", L"a&b", L"a|b", L"a<b", L"a>b", L"a^b",
                                L"(a)", L"x & del *.*"}) {
        SCOPED_TRACE(testing::PrintToString(camera));
        EXPECT_EQ(LineOf(Job(L"E:\\s.max", camera)),
                  Prefix + "-cam:\"" + Gbk(camera) + "\" -outputName:\"F:\\out\\a.tga\" ");
    }
    EXPECT_EQ(LineOf(Job(L"E:\\s.max", L"默认", L"1920 ", L"(1080)")),
              Prefix + "-w:\"1920 \" -h:\"(1080)\" -outputName:\"F:\\out\\a.tga\" ");
    // Without such characters the bytes stay exactly as they were, '!' and ',' included.
    EXPECT_EQ(LineOf(Job(L"E:\\s.max", L"Cam!01,x;y=z", L"800", L"600")),
              Prefix + "-cam:Cam!01,x;y=z -w:800 -h:600 -outputName:\"F:\\out\\a.tga\" ");
}

TEST(RenderScript, BackslashesBeforeAClosingQuoteAreDoubled) {
    EXPECT_EQ(LineOf(Job(L"E:\\scenes\\", L"默认", L"默认", L"默认", L"F:\\out", L"dir\\\\")),
              "\"D:\\Program Files\\Autodesk\\3ds Max 2012\\3dsmaxcmd.exe\" \"E:\\scenes\\\\\" "
              "-continueOnError -skipRenderedFrames:1 "
              "-outputName:\"F:\\out\\dir\\\\\\\\\" ");
    EXPECT_EQ(LineOf(Job(L"E:\\s.max", L"C:\\my cams\\")),
              Prefix + "-cam:\"C:\\my cams\\\\\" -outputName:\"F:\\out\\a.tga\" ");
    // Unquoted, a trailing backslash meets no quote and stays single.
    EXPECT_EQ(LineOf(Job(L"E:\\s.max", L"cams\\")),
              Prefix + "-cam:cams\\ -outputName:\"F:\\out\\a.tga\" ");
    // Backslashes inside a value are left alone.
    EXPECT_EQ(LineOf(Job(L"\\\\server\\share\\s.max")).substr(55, 27),
              "\"\\\\server\\share\\s.max\" -con");
}

TEST(RenderScript, ARowWithoutOutputStopsTheScriptAfterTheRowsBeforeIt) {
    const std::vector<RenderJob> rows = {
        Job(L"E:\\1.max"), Job(L"E:\\2.max", L"默认", L"默认", L"默认", L"F:\\out", L""),
        Job(L"E:\\3.max")};
    const ComposedScript script = Compose(rows, true);

    ASSERT_TRUE(script.refusal);
    EXPECT_EQ(*script.refusal, (ScriptRefusal{ScriptFault::MissingOutput, false, L"E:\\2.max"}));
    EXPECT_EQ(script.bytes, LineOf(rows[0]) + std::string(JobEnd));
    EXPECT_EQ(RefusalMessage(*script.refusal), L"请填写 E:\\2.max 的渲染输出路径");

    const auto noFolder = RefusalOf(Job(L"E:\\1.max", L"默认", L"默认", L"默认", L"", L"a.tga"));
    ASSERT_TRUE(noFolder);
    EXPECT_EQ(noFolder->fault, ScriptFault::MissingOutput);
    // A blank is not empty: it is written as it stands.
    EXPECT_FALSE(RefusalOf(Job(L"E:\\1.max", L"默认", L"默认", L"默认", L" ", L" ")));
}

TEST(RenderScript, QuotesAndControlCharactersAreRefusedInEveryWrittenText) {
    const std::wstring bad[] = {L"a\"b", L"a\nb", L"a\rb", std::wstring(L"a\0b", 3), L"a\x1b",
                                L"a\x7f", L"a\x85"};
    for (const std::wstring& text : bad) {
        SCOPED_TRACE(testing::PrintToString(text));
        const RenderJob jobs[] = {
            Job(text),
            Job(L"E:\\s.max", text),
            Job(L"E:\\s.max", L"默认", text),
            Job(L"E:\\s.max", L"默认", L"默认", text),
            Job(L"E:\\s.max", L"默认", L"默认", L"默认", text),
            Job(L"E:\\s.max", L"默认", L"默认", L"默认", L"F:\\out", text),
        };
        for (const RenderJob& job : jobs) {
            const auto refusal = RefusalOf(job);
            ASSERT_TRUE(refusal);
            EXPECT_EQ(*refusal, (ScriptRefusal{ScriptFault::UnsafeText, false, job.scene}));
        }
        const auto install = RefusalOf(Job(L"E:\\s.max"), L"C:\\Max" + text);
        ASSERT_TRUE(install);
        EXPECT_TRUE(install->inInstallFolder);
    }
    // A tab is quoted, not refused: inside quotes it is part of the argument.
    EXPECT_FALSE(RefusalOf(Job(L"E:\\a\tb.max", L"a\tb")));
}

// The units of the first block and those that share its low byte with a limit in other blocks
// (where an unsigned comparison done as signed would go wrong), at each place of a run of eight
// and in the tail after it: a quote or a control character (tab aside) anywhere refuses the row,
// anything else does not for that reason.
TEST(RenderScript, EveryUnitIsCheckedWhereverItStands) {
    std::vector<unsigned> units;
    for (const unsigned block : {0x0000u, 0x0100u, 0x7F00u, 0x8000u, 0xFF00u}) {
        for (unsigned low = 0; low <= 0xFF; ++low) {
            if (block + low != 0) units.push_back(block + low);
        }
    }
    // Every unit refused, as ranges: C0 controls but the tab, the quote, DEL and the C1 controls.
    constexpr std::pair<unsigned, unsigned> Refused[] = {{0x01, 0x08}, {0x0A, 0x1F}, {0x22, 0x22}, {0x7F, 0x9F}};
    for (const unsigned unit : units) {
        const auto c = static_cast<wchar_t>(unit);
        const bool unsafe = std::any_of(std::begin(Refused), std::end(Refused),
                                        [&](const auto& range) { return unit >= range.first && unit <= range.second; });
        // "E:\\" and 14 units: the first run of eight, the second, and the tail.
        for (const std::size_t place : {std::size_t{0}, std::size_t{7}, std::size_t{13}}) {
            std::wstring name(14, L'a');
            name[place] = c;
            const auto refusal = RefusalOf(Job(L"E:\\" + name + L".max"));
            EXPECT_EQ(refusal && refusal->fault == ScriptFault::UnsafeText, unsafe) << unit << " at " << place;
        }
    }
}

TEST(RenderScript, CharactersTheCodePageLacksAreRefusedNeverSubstituted) {
    for (std::wstring text : {L"a\u00a6b", L"\U0001F3AC", L"caf\u00e9\u0301"}) {
        SCOPED_TRACE(testing::PrintToString(text));
        const auto refusal = RefusalOf(Job(L"E:\\s.max", text));
        ASSERT_TRUE(refusal);
        EXPECT_EQ(refusal->fault, ScriptFault::Unrepresentable);
        EXPECT_EQ(RefusalMessage(*refusal), L"请修改 E:\\s.max 的设置：含有系统编码无法表示的字符");
    }
    const auto install = RefusalOf(Job(L"E:\\s.max"), L"C:\\Max\u00a6");
    ASSERT_TRUE(install);
    EXPECT_EQ(RefusalMessage(*install), L"请修改3dsMax的安装路径：含有系统编码无法表示的字符");
    // A marker cell is never written, so it is never checked.
    EXPECT_FALSE(RefusalOf(Job(L"E:\\s.max", L"默认", L"默认", L"默认")));
}

TEST(RenderScript, AJobLineLongerThanCmdReadsIsRefusedCountingItsBytes) {
    // cmd reads 8191 bytes of a line; the line is all but the output file name.
    constexpr std::size_t CmdReads = 8191;
    const std::size_t room = CmdReads - (Prefix + "-outputName:\"F:\\out\\\" ").size();
    // A name of that many bytes in code page 936: two-byte characters, one 'n' for an odd count.
    const auto name = [](std::size_t bytes) {
        return std::wstring(bytes / 2, L'渲') + std::wstring(bytes % 2, L'n');
    };
    const auto named = [](std::wstring text) {
        return Job(L"E:\\s.max", L"默认", L"默认", L"默认", L"F:\\out", std::move(text));
    };
    EXPECT_EQ(LineOf(named(name(room))).size(), CmdReads);

    const ComposedScript script = Compose({Job(L"E:\\1.max"), named(name(room + 1))});
    ASSERT_TRUE(script.refusal);
    EXPECT_EQ(RefusalMessage(*script.refusal), L"请修改 E:\\s.max 的设置：命令行超过8191个字节");
    EXPECT_EQ(script.bytes, LineOf(Job(L"E:\\1.max")) + std::string(JobEnd));

    // Counted as written: each '%' takes two bytes of the line.
    EXPECT_FALSE(RefusalOf(named(std::wstring(room / 2, L'%') + std::wstring(room % 2, L'n'))));
    EXPECT_TRUE(RefusalOf(named(std::wstring(room / 2 + 1, L'%'))));

    // Fewer than 8191 characters, more than 8191 bytes: cmd would cut it inside the quotes and run
    // the rest as a command.
    const std::wstring scene =
        L"C:\\s\\" + std::wstring(4100, L'渲') + L"x&echo pwned>x.txt&rem .max";
    const auto cut = RefusalOf(Job(scene));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->fault, ScriptFault::LineTooLong);
}

TEST(RenderScript, ALongTableIsWrittenLineForLineAsEachRowAlone) {
    // Thousands of rows, of every kind of text a usual row holds, and the rows' own lines.
    std::vector<RenderJob> rows;
    std::string lines, kept;  // every row's line; those of the rows before row 2500
    const std::size_t bad = 2500;
    const std::string renderer = "\"D:\\Program Files\\Autodesk\\3ds Max 2012\\3dsmaxcmd.exe\" ";
    for (int i = 0; i < 3000; ++i) {
        const std::wstring n = std::to_wstring(i);
        const std::string digits = std::to_string(i), tens = std::to_string(i / 10);
        // Runs of rows sharing folders and options, and rows whose texts need more than quotes.
        const std::wstring scene = i % 13 == 0 ? L"镜头" + n + L".max"
                                   : i % 7 == 0 ? L"E:\\场景 " + n + L"\\镜头%" + n + L".max"
                                                : L"E:\\场景 " + std::to_wstring(i / 10) + L"\\镜头" + n + L".max";
        rows.push_back(Job(scene, i % 3 ? L"默认" : L"Cam " + n, i % 2 ? L"默认" : L"1920",
                           i % 2 ? L"默认" : L"1080", i % 5 ? L"F:\\出图" : L"F:\\a&b\\",
                           i % 11 == 0 ? L"镜头" + n + L"\\" : L"镜头" + n + L".tga"));
        // The line as cmd must read it, piece by piece.
        lines += renderer;
        lines += i % 13 == 0  ? Gbk(L"\"镜头") + digits + ".max\" "
                 : i % 7 == 0 ? Gbk(L"\"E:\\场景 ") + digits + Gbk(L"\\镜头") + "%%" + digits + ".max\" "
                              : Gbk(L"\"E:\\场景 ") + tens + Gbk(L"\\镜头") + digits + ".max\" ";
        lines += "-continueOnError -skipRenderedFrames:1 ";
        if (i % 3 == 0) lines += "-cam:\"Cam " + digits + "\" ";
        if (i % 2 == 0) lines += "-w:1920 -h:1080 ";
        lines += "-outputName:\"";
        lines += i % 5 ? "F:\\" + Gbk(L"出图") + "\\" : std::string("F:\\a&b\\\\");
        lines += Gbk(L"镜头") + digits + (i % 11 == 0 ? "\\\\" : ".tga");
        lines += "\" \n\r\n";
        if (i + 1 == bad) kept = lines;
    }
    const ComposedScript whole = Compose(rows, false);
    ASSERT_FALSE(whole.refusal);
    EXPECT_EQ(whole.bytes, lines + "\r\n");

    // A row far down that the code page cannot write, or whose line is too long, ends the script
    // after exactly the rows before it.
    for (const auto& [scene, fault] :
         {std::pair{std::wstring(L"E:\\caf\u00a6.max"), ScriptFault::Unrepresentable},
          std::pair{L"E:\\" + std::wstring(5000, L'渲') + L".max", ScriptFault::LineTooLong}}) {
        std::vector<RenderJob> faulty = rows;
        faulty[bad].scene = scene;
        const ComposedScript script = Compose(faulty, true);
        ASSERT_TRUE(script.refusal);
        EXPECT_EQ(*script.refusal, (ScriptRefusal{fault, false, scene}));
        EXPECT_EQ(script.bytes, kept);
    }
}

TEST(RenderScript, FaultsAreFoundInTheOrderTheLineIsBuilt) {
    // The scene is checked before the output cells, the install folder before everything.
    const auto scene = RefusalOf(Job(L"a\"b", L"默认", L"默认", L"默认", L"", L""));
    ASSERT_TRUE(scene);
    EXPECT_EQ(scene->fault, ScriptFault::UnsafeText);
    const auto install = RefusalOf(Job(L"a\"b"), L"C:\\\u00a6");
    ASSERT_TRUE(install);
    EXPECT_EQ(install->fault, ScriptFault::Unrepresentable);
    EXPECT_TRUE(install->inInstallFolder);
    EXPECT_EQ(RefusalMessage(*RefusalOf(Job(L"E:\\s.max"), L"C:\\\"")),
              L"请修改3dsMax的安装路径：含有双引号或控制字符");
    // The install folder only enters through a job line: an empty table never checks it.
    EXPECT_FALSE(Compose({}, false, L"C:\\\"").refusal);
}

TEST(RenderScript, BackburnerLinesHandEachJobToTheManagerUnderAUniqueName) {
    const std::vector<RenderJob> rows = {Job(L"E:\\a\\lobby.max"), Job(L"E:\\b\\lobby.max")};
    const BackburnerSettings farm{L"render-01", 3234, 20, true};
    const ComposedScript script = ComposeRenderScript(DefaultInstall, rows, false, Cp936(), &farm);
    ASSERT_FALSE(script.refusal);
    const std::string first = script.bytes.substr(0, script.bytes.find(JobEnd));
    EXPECT_TRUE(first.ends_with("-outputName:\"F:\\out\\a.tga\" -submit:render-01 "
                                "-jobName:lobby -priority:20 -suspended:1 "))
        << first;
    const std::string second = script.bytes.substr(script.bytes.find(JobEnd) + JobEnd.size());
    EXPECT_NE(second.find("-jobName:\"lobby (2)\" -priority:20 "), std::string::npos);

    const BackburnerSettings other{L"mgr 2", 4000, 0, false};
    const std::string line = Compose({Job(L"E:\\x.max")}, false, DefaultInstall).bytes;
    const std::string farmed =
        ComposeRenderScript(DefaultInstall, std::vector<RenderJob>{Job(L"E:\\x.max")}, false,
                            Cp936(), &other).bytes;
    EXPECT_NE(farmed.find("-submit:\"mgr 2\" -port:4000 -jobName:x -priority:0 \n"),
              std::string::npos);
    EXPECT_EQ(line.find("-submit"), std::string::npos);
    // The manager's text follows the cells' rules.
    const BackburnerSettings quoted{L"a\"b", 3234, 50, false};
    EXPECT_EQ(ComposeRenderScript(DefaultInstall, std::vector<RenderJob>{Job(L"E:\\x.max")}, false,
                                  Cp936(), &quoted).refusal->fault,
              ScriptFault::UnsafeText);
}

RenderJob Extras(std::wstring frames, std::wstring state, std::wstring preset,
                 std::wstring scene = L"E:\\s.max") {
    RenderJob job = Job(std::move(scene));
    job.frames = std::move(frames);
    job.sceneState = std::move(state);
    job.preset = std::move(preset);
    return job;
}

// After the output, in the order of the table's columns, only for cells that do not hold the
// marker; the rows that go part by part and those composed whole write the same bytes.
TEST(RenderScript, FramesSceneStateAndPresetFollowTheOutputInTableOrder) {
    const std::string out = "-outputName:\"F:\\out\\a.tga\" ";
    const struct {
        RenderJob job;
        std::string line;
    } cases[] = {
        {Extras(L"默认", L"默认", L"默认"), Prefix + out},
        {Extras(L"1,3,5-12", L"默认", L"默认"), Prefix + out + "-frames:1,3,5-12 "},
        {Extras(L"默认", L"Night", L"默认"), Prefix + out + "-sceneState:\"Night\" "},
        {Extras(L"默认", L"默认", L"D:\\presets\\draft.rps"),
         Prefix + out + "-preset:\"D:\\presets\\draft.rps\" "},
        {Extras(L" 0 - 100 ", L"Night", L"默认"), Prefix + out + "-frames:0-100 -sceneState:\"Night\" "},
        {Extras(L"12", L"默认", L"D:\\presets\\draft.rps"),
         Prefix + out + "-frames:12 -preset:\"D:\\presets\\draft.rps\" "},
        {Extras(L"默认", L"Clay pass", L"D:\\预设\\终稿.RPS"),
         Prefix + out + "-sceneState:\"Clay pass\" -preset:\"D:\\" + Gbk(L"预设\\终稿") + ".RPS\" "},
        {Extras(L"1,\t3", L"日景", L"D:\\presets\\draft.rps"),
         Prefix + out + "-frames:1,3 -sceneState:\"" + Gbk(L"日景") + "\" -preset:\"D:\\presets\\draft.rps\" "},
        // Composed whole: '%' doubled in every cell, backslashes before a closing quote doubled.
        {Extras(L"0-9", L"100% 夜\\", L"D:\\%P%\\a.rps", L"E:\\50%.max"),
         "\"D:\\Program Files\\Autodesk\\3ds Max 2012\\3dsmaxcmd.exe\" \"E:\\50%%.max\" "
         "-continueOnError -skipRenderedFrames:1 " + out +
             "-frames:0-9 -sceneState:\"100%% " + Gbk(L"夜") + "\\\\\" -preset:\"D:\\%%P%%\\a.rps\" "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.job.frames + L"|" + c.job.sceneState + L"|" + c.job.preset));
        EXPECT_EQ(LineOf(c.job), c.line);
        EXPECT_EQ(Cp936().encode(JobLineText(DefaultInstall, c.job)).value(), c.line);
        // In a table, after a row of another kind and before one of the same.
        EXPECT_EQ(Compose({Job(L"E:\\s.max"), c.job, c.job}).bytes,
                  Prefix + out + "\n\r\n" + c.line + "\n\r\n" + c.line + "\n\r\n\r\n");
    }
    // Backburner's switches come after them.
    const BackburnerSettings farm{L"render-01", 3234, 50, false};
    const ComposedScript farmed = ComposeRenderScript(
        DefaultInstall, std::vector<RenderJob>{Extras(L"1-5", L"Night", L"D:\\p.rps")}, false, Cp936(), &farm);
    EXPECT_EQ(farmed.bytes, Prefix + out +
                                "-frames:1-5 -sceneState:\"Night\" -preset:\"D:\\p.rps\" "
                                "-submit:render-01 -jobName:s -priority:50 \n\r\n\r\n");
}

TEST(RenderScript, FramesSceneStateAndPresetAreRefusedAsTheOtherCellsAre) {
    const std::wstring room(8191 - (Prefix + "-outputName:\"F:\\out\\a.tga\" -preset:\"\" ").size(), L'p');
    const struct {
        RenderJob job;
        std::optional<std::wstring> message;
    } cases[] = {
        {Extras(L"1\n2", L"默认", L"默认"), L"请修改 E:\\s.max 的设置：含有双引号或控制字符"},
        {Extras(L"默认", L"a\"b", L"默认"), L"请修改 E:\\s.max 的设置：含有双引号或控制字符"},
        {Extras(L"默认", L"默认", L"D:\\a\x1b.rps"), L"请修改 E:\\s.max 的设置：含有双引号或控制字符"},
        {Extras(L"默认", L"caf\u00a6", L"默认"), L"请修改 E:\\s.max 的设置：含有系统编码无法表示的字符"},
        {Extras(L"默认", L"默认", L"D:\\\U0001F3AC.rps"), L"请修改 E:\\s.max 的设置：含有系统编码无法表示的字符"},
        {Extras(L"默认", L"默认", room), std::nullopt},
        {Extras(L"默认", L"默认", room + L"p"), L"请修改 E:\\s.max 的设置：命令行超过8191个字节"},
        // A tab is quoted, not refused; the marker cells are never checked.
        {Extras(L"默认", L"a\tb", L"默认"), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.job.frames + L"|" + c.job.sceneState + L"|" + c.job.preset));
        const ComposedScript script = Compose({Job(L"E:\\1.max"), c.job});
        EXPECT_EQ(script.refusal ? std::optional(RefusalMessage(*script.refusal)) : std::nullopt, c.message);
        if (c.message) {
            EXPECT_EQ(script.bytes, LineOf(Job(L"E:\\1.max")) + std::string(JobEnd));
        }
    }
    EXPECT_EQ(LineOf(Extras(L"默认", L"默认", room)).size(), 8191u);
}

// cmd reads the script in its console's code page, which the user's console settings may have
// changed: it is set to the script's own first, by the system's chcp, and nothing it says is kept.
TEST(RenderScript, TheScriptIsStartedBySystemCmdInsideItsFolderInItsCodePage) {
    const std::wstring plain = L"\"C:\\Windows\\system32\\cmd.exe\" /d /v:off /c .\\Render.bat";
    const struct {
        const wchar_t* system;
        unsigned codePage;
        std::wstring commandLine;
    } cases[] = {
        {L"C:\\Windows\\system32", 936,
         L"\"C:\\Windows\\system32\\cmd.exe\" /d /v:off /c "
         L"\"\"C:\\Windows\\system32\\chcp.com\" 936 >nul 2>nul & .\\Render.bat\""},
        {L"C:\\Windows\\system32", 0, plain},  // a codec of no Windows code page
        {L"C:\\Win%x%\\system32", 936, L"\"C:\\Win%x%\\system32\\cmd.exe\" /d /v:off /c .\\Render.bat"},
    };
    for (const auto& c : cases) {
        const ProcessLaunch launch = ScriptLaunch(c.system, L"D:\\a (b) & 100%\\bat", c.codePage);
        EXPECT_EQ(launch.application, std::wstring(c.system) + L"\\cmd.exe");
        EXPECT_EQ(launch.commandLine, c.commandLine);
        EXPECT_EQ(launch.workingFolder, L"D:\\a (b) & 100%\\bat");
        EXPECT_EQ(launch.style, WindowStyle::Hidden);
    }
}

}  // namespace
}  // namespace ravolen
