#include "document/Commands.h"
#include "document/Document.h"
#include "document/History.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace ravolen {
namespace {

void AddRows(Document& document, int count) {
    for (int i = 0; i < count; ++i) {
        document.rows.append(JobRow{{L"E:\\s" + std::to_wstring(i) + L".max", L"默认", i == 1 ? L"" : L"F:\\out",
                                     L"n.tga", L"默认", L"默认"}, false, nullptr, 0});
    }
}

bool Enabled(Command command, const Document& document, const CommandFacts& facts = {}) {
    return StateOf(command, document, facts).enabled;
}

TEST(Document, CommandsOnRowsNeedRowsASelectionAndACurrentRowWithTheCell) {
    Document document;
    const std::vector<std::size_t> none;
    for (const Command command : {Command::Cut, Command::Copy, Command::Delete, Command::Duplicate, Command::EditJob,
                                  Command::TickSelected, Command::UntickSelected, Command::SelectAll,
                                  Command::MoveUp, Command::MoveLast, Command::ShowScene, Command::OpenOutputFolder,
                                  Command::Undo, Command::Redo, Command::Paste}) {
        EXPECT_FALSE(Enabled(command, document, {.selection = none})) << static_cast<int>(command);
    }
    EXPECT_TRUE(Enabled(Command::Render, document)) << "an empty table is refused by the start, with its reason";
    EXPECT_TRUE(Enabled(Command::Undo, document, {.canUndo = true}));
    EXPECT_TRUE(Enabled(Command::Redo, document, {.canRedo = true}));
    EXPECT_TRUE(Enabled(Command::Paste, document, {.clipboardHoldsContent = true}));

    AddRows(document, 4);
    EXPECT_TRUE(Enabled(Command::SelectAll, document));
    const std::vector<std::size_t> second{1};
    for (const Command command : {Command::Cut, Command::Copy, Command::Delete, Command::Duplicate, Command::EditJob,
                                  Command::TickSelected, Command::UntickSelected}) {
        EXPECT_TRUE(Enabled(command, document, {.selection = second})) << static_cast<int>(command);
    }
    // Row 2 has no output folder: Explorer shows its scene, but no folder opens.
    EXPECT_TRUE(Enabled(Command::ShowScene, document, {.selection = second, .currentRow = 1}));
    EXPECT_FALSE(Enabled(Command::OpenOutputFolder, document, {.selection = second, .currentRow = 1}));
    EXPECT_TRUE(Enabled(Command::OpenOutputFolder, document, {.selection = second, .currentRow = 2}));
    EXPECT_FALSE(Enabled(Command::ShowScene, document, {.selection = second, .currentRow = 9}));
}

// A move is offered exactly when it would move a row, as the table moves them.
TEST(Document, MovesAreOfferedExactlyWhenTheyWouldMoveARow) {
    Document document;
    AddRows(document, 5);
    const std::vector<std::vector<std::size_t>> selections{
        {}, {0}, {4}, {2}, {0, 1}, {3, 4}, {0, 2}, {1, 4}, {0, 1, 2, 3, 4}, {0, 1, 3}, {1, 3, 4}};
    for (const std::vector<std::size_t>& selection : selections) {
        for (const auto& [command, move] : {std::pair{Command::MoveUp, RowMove::Up}, {Command::MoveDown, RowMove::Down},
                                            {Command::MoveFirst, RowMove::First}, {Command::MoveLast, RowMove::Last}}) {
            const bool moves = !selection.empty() && MovedPositions(selection, 5, move) != selection;
            EXPECT_EQ(Enabled(command, document, {.selection = selection}), moves)
                << static_cast<int>(command) << " of " << selection.size() << " rows from " << (selection.empty() ? 0 : selection[0]);
        }
    }
}

// 渲  染 stays off from a start until 取消关机, or until a followed night without a shutdown ends.
TEST(Document, TheRenderLatchHoldsFromTheStartUntilItsNightIsOver) {
    enum Step { Start, StartWithShutdown, Backburner, NightEnds, CancelShutdown };
    struct Case {
        std::vector<Step> steps;
        bool renderEnabled;
    };
    const Case cases[] = {
        {{}, true},
        {{Start}, false},
        {{Start, NightEnds}, true},
        {{StartWithShutdown}, false},
        {{StartWithShutdown, NightEnds}, false},  // the machine goes down: nothing to start
        {{StartWithShutdown, NightEnds, CancelShutdown}, true},
        {{StartWithShutdown, CancelShutdown}, true},
        {{Start, CancelShutdown}, true},
        {{Backburner}, false},
        {{Backburner, NightEnds}, false},
        {{Backburner, CancelShutdown}, true},
        {{Start, NightEnds, StartWithShutdown, NightEnds}, false},
    };
    for (const Case& test : cases) {
        Document document;
        for (const Step step : test.steps) {
            if (step == Start) document.latch.nightStarted(false);
            if (step == StartWithShutdown) document.latch.nightStarted(true);
            if (step == Backburner) document.latch.backburnerStarted();
            if (step == NightEnds) document.latch.followedNightEnded();
            if (step == CancelShutdown) document.latch.shutdownCancelled();
        }
        EXPECT_EQ(Enabled(Command::Render, document), test.renderEnabled) << test.steps.size() << " steps";
        EXPECT_EQ(document.latch.latched(), !test.renderEnabled);
    }
}

TEST(Document, TheWayAndTheOptionalColumnsAreCheckedAsTheSettingsSay) {
    Document document;
    for (const RenderWay way : {RenderWay::Local, RenderWay::Deadline, RenderWay::Backburner}) {
        document.settings.way = way;
        EXPECT_EQ(StateOf(Command::RenderHere, document, {}).checked, way == RenderWay::Local);
        EXPECT_EQ(StateOf(Command::RenderOnDeadline, document, {}).checked, way == RenderWay::Deadline);
        EXPECT_EQ(StateOf(Command::RenderOnBackburner, document, {}).checked, way == RenderWay::Backburner);
    }
    EXPECT_FALSE(StateOf(Command::OptionalColumns, document, {}).checked);
    document.settings.optionalColumns = true;
    EXPECT_EQ(StateOf(Command::OptionalColumns, document, {}), (CommandState{true, true}));
}

// The session keeps every setting but the shutdown and the way, and gives back what it kept.
TEST(Document, TheSessionKeepsEverySettingButTheShutdownAndTheWay) {
    const DocumentSettings defaults = DefaultSettings(L"C:\\Tools\\Ravolen", L"");
    EXPECT_EQ(defaults.unifiedFolder, L"C:\\Tools\\Ravolen\\renderOutput");
    EXPECT_EQ(defaults.unifiedFormat, L".tga");
    EXPECT_EQ(defaults.installFolder, L"D:\\Program Files\\Autodesk\\3ds Max 2012");

    DocumentSettings set = defaults;
    set.installFolder = L"C:\\Max";
    set.unifiedFolder = L"G:\\all";
    set.unifiedFormat = L".png";
    set.unifiedFolderTicked = true;
    set.unifiedFormatTicked = true;
    set.appliedFormat = L".png";
    set.deadline = {L"D:\\dl.exe", {}};
    set.deadline.settings.pool = L"night";
    set.backburner.manager = L"render-01";
    set.night.retries = 2;
    set.optionalColumns = true;
    set.shutdown = true;
    set.way = RenderWay::Backburner;
    const SessionSettings session = SessionSettingsOf(set);
    EXPECT_EQ(session.installFolder, L"C:\\Max");
    EXPECT_EQ(session.outputFolder, L"G:\\all");
    EXPECT_TRUE(session.unifiedFormat);
    DocumentSettings back = SettingsOf(session, defaults);
    EXPECT_FALSE(back.shutdown);
    EXPECT_EQ(back.way, RenderWay::Local);
    back.shutdown = true;
    back.way = RenderWay::Backburner;
    EXPECT_EQ(back, set);
    EXPECT_EQ(SessionSettingsOf(back), session);
}

TEST(Document, ARequestTakesTheRowsAtTheirPositionsUnderTheTablesNumbers) {
    Document document;
    AddRows(document, 3);
    document.settings.installFolder = L"C:\\Max";
    document.settings.night.retries = 2;
    const RenderRequest all = RenderRequestOf(document, true);
    EXPECT_EQ(all.rows, document.rows.jobs());
    EXPECT_TRUE(all.numbers.empty());
    EXPECT_TRUE(all.shutdownAfterwards);
    EXPECT_EQ(all.retries, 2);
    EXPECT_EQ(all.installFolder, L"C:\\Max");
    const RenderRequest some = RenderRequestOf(document, {2, 0, 3}, false);
    EXPECT_EQ(some.numbers, (std::vector<int>{3, 1}));
    EXPECT_EQ(some.rows, (std::vector<RenderJob>{document.rows.job(2), document.rows.job(0)}));
    EXPECT_FALSE(some.shutdownAfterwards);
}

}  // namespace
}  // namespace ravolen

namespace ravolen {
namespace {

struct Shown {
    std::vector<RenderJob> rows;
    UnifiedChoice unified;
    bool operator==(const Shown&) const = default;
};
Shown ShownOf(const Document& document) { return {document.rows.jobs(), UnifiedChoiceOf(document.settings)}; }

// Each step brings back the rows and the unified boxes exactly as they stood; keystrokes in one box
// are one step, a tick is none and stays, and redo goes forward again until the next change.
TEST(History, EachStepBringsBackTheRowsAndTheUnifiedBoxesAsTheyStood) {
    Document document;
    History history(document);
    AddRows(document, 2);  // outside a step: nothing to undo
    EXPECT_FALSE(history.canUndo());
    std::vector<Shown> states{ShownOf(document)};
    History::Join last = History::Join::None;
    const auto step = [&](auto change, History::Join join = History::Join::None) {
        history.step(change, join);
        if (join != History::Join::None && join == last) states.back() = ShownOf(document);
        else states.push_back(ShownOf(document));
        last = join;
    };
    step([&] { document.rows.setCell(0, 2, L"Cam1"); });
    step([&] {
        document.settings.unifiedFolderTicked = true;
        document.rows.tickUnifiedFolder(document.settings.unifiedFolder = L"G:\\a");
    });
    for (const wchar_t* typed : {L"G:\\ab", L"G:\\abc"}) {
        step([&] {
            document.rows.fillColumn(JobColumnOutputFolder, document.settings.unifiedFolder = typed);
        }, History::Join::UnifiedFolder);
    }
    step([&] { document.rows.move({0}, {1}); });
    step([&] { document.rows.takeAll(); });
    history.step([] {});  // changed nothing: no step
    document.rows.setTicked(0, true);  // nothing to take: the table is empty
    ASSERT_EQ(states.size(), 6u);

    for (std::size_t k = states.size() - 1; k > 0; --k) {
        ASSERT_TRUE(history.undo());
        EXPECT_EQ(ShownOf(document), states[k - 1]) << k;
    }
    EXPECT_FALSE(history.undo());
    document.rows.setTicked(1, true);  // a tick is no step, and keeps the steps ahead
    for (std::size_t k = 1; k < states.size(); ++k) {
        ASSERT_TRUE(history.redo());
        EXPECT_EQ(ShownOf(document), states[k]) << k;
    }
    EXPECT_FALSE(history.redo());
    history.undo();
    history.undo();
    EXPECT_TRUE(document.rows.ticked(0) || document.rows.ticked(1)) << "the tick went back with its row";
    step([&] { document.rows.setCell(0, 5, L"800"); });
    EXPECT_FALSE(history.canRedo()) << "a change forgets what was undone";
    document.rows.setCell(0, 6, L"600");  // a change outside a step
    EXPECT_FALSE(history.canUndo());
}

}  // namespace
}  // namespace ravolen
