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
    const DocumentSettings defaults = DefaultSettings(L"");
    EXPECT_EQ(DefaultUnified(L"C:\\Tools\\Ravolen"), (UnifiedChoice{L"C:\\Tools\\Ravolen\\renderOutput", L".tga", false, false}));
    EXPECT_EQ(defaults.installFolder, L"D:\\Program Files\\Autodesk\\3ds Max 2012");

    DocumentSettings set = defaults;
    set.installFolder = L"C:\\Max";
    set.deadline = {L"D:\\dl.exe", {}};
    set.deadline.settings.pool = L"night";
    set.backburner.manager = L"render-01";
    set.night.retries = 2;
    set.optionalColumns = true;
    set.shutdown = true;
    set.way = RenderWay::Backburner;
    for (const UnifiedChoice& unified : {UnifiedChoice{L"G:\\all", L".png", true, true}, UnifiedChoice{L"G:\\all", L".png", true, false}}) {
        const SessionSettings session = SessionSettingsOf(set, unified);
        EXPECT_EQ(session.installFolder, L"C:\\Max");
        EXPECT_EQ(session.outputFolder, L"G:\\all");
        EXPECT_EQ(session.appliedFormat, unified.formatTicked ? L".png" : L"") << "the format the names carry";
        EXPECT_EQ(UnifiedChoiceOf(session), unified);
        DocumentSettings back = SettingsOf(session, defaults);
        EXPECT_FALSE(back.shutdown);
        EXPECT_EQ(back.way, RenderWay::Local);
        back.shutdown = true;
        back.way = RenderWay::Backburner;
        EXPECT_EQ(back, set);
        EXPECT_EQ(SessionSettingsOf(back, unified), session);
    }
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

// The document as a step must bring it back: every row's own values, saved values and id, the
// unified boxes, and what a reader sees (a tick is no step).
struct State {
    std::vector<std::wstring> rows;
    UnifiedChoice unified;
    std::vector<RenderJob> shown;
    bool operator==(const State&) const = default;
};
State StateOf(const Document& document) {
    State state{{}, document.rows.unified(), document.rows.jobs()};
    for (std::size_t k = 0; k < document.rows.count(); ++k) {
        const JobRow row = document.rows.row(k);
        std::wstring text = std::to_wstring(row.id);
        for (const std::wstring& cell : JobCells(row.job)) text += L"|" + cell;
        if (row.saved) text += L"|" + row.saved->folder.value_or(L"~") + L"|" + row.saved->extension.value_or(L"~");
        state.rows.push_back(text);
    }
    return state;
}

// Each step brings back the rows and the unified boxes exactly as they stood, whatever came
// between: an edit, a paste, a move, keystrokes in a unified box (one step), an untick, 清空. A
// tick is no step and stays; redo goes forward again until the next change.
TEST(History, EachStepBringsBackTheRowsAndTheUnifiedBoxesAsTheyStood) {
    Document document;
    History history(document);
    AddRows(document, 2);  // outside a step: nothing to undo
    RenderJob optional{L"E:\\o.max", L"默认", L"F:\\o", L"o.exr", L"默认", L"默认", L"1-3", L"夜景", L"D:\\p.rps"};
    document.rows.append(JobRow{optional, false, nullptr, 0});
    EXPECT_FALSE(history.canUndo());
    std::vector<State> states{StateOf(document)};
    History::Join last = History::Join::None;
    const auto step = [&](auto change, History::Join join = History::Join::None) {
        history.step(change, join);
        if (join != History::Join::None && join == last) states.back() = StateOf(document);
        else states.push_back(StateOf(document));
        last = join;
    };
    const auto unify = [&](const wchar_t* folder, const wchar_t* format, bool folderTicked, bool formatTicked) {
        return [=, &document] { document.rows.unify({folder, format, folderTicked, formatTicked}); };
    };
    step([&] { document.rows.setCell(0, 2, L"Cam1"); });
    step(unify(L"G:\\a", L".tga", true, false));
    step(unify(L"G:\\a", L".png", true, true));
    step([&] { document.rows.insert({{1, JobRow{{L"E:\\p.max", L"默认", L"F:\\p", L"p.jpg", L"默认", L"默认"}, false, nullptr, 0}}}); });
    step([&] { document.rows.move({0}, {3}); });
    for (const wchar_t* typed : {L".e", L".ex", L".exr"}) step(unify(L"G:\\a", typed, true, true), History::Join::UnifiedFormat);
    step(unify(L"G:\\a", L".exr", false, true));
    step([&] { document.rows.takeAll(); });
    history.step([] {});  // changed nothing: no step
    ASSERT_EQ(states.size(), 9u);

    for (std::size_t k = states.size() - 1; k > 0; --k) {
        ASSERT_TRUE(history.undo());
        EXPECT_EQ(StateOf(document), states[k - 1]) << k;
    }
    EXPECT_FALSE(history.undo());
    document.rows.setTicked(1, true);  // a tick is no step, and keeps the steps ahead
    for (std::size_t k = 1; k < states.size(); ++k) {
        ASSERT_TRUE(history.redo());
        EXPECT_EQ(StateOf(document), states[k]) << k;
    }
    EXPECT_FALSE(history.redo());
    for (int k = 0; k < 3; ++k) history.undo();  // back to just after the move
    EXPECT_TRUE(document.rows.ticked(1)) << "the tick went back with its row";
    // Another cell of a row edited after 撤销 leaves its 帧, 场景状态 and 渲染预设 as they were.
    step([&] { document.rows.setCell(2, 5, L"800"); });
    EXPECT_EQ(document.rows.job(2).frames, L"1-3");
    EXPECT_EQ(document.rows.job(2).sceneState, L"夜景");
    EXPECT_EQ(document.rows.job(2).preset, L"D:\\p.rps");
    EXPECT_FALSE(history.canRedo()) << "a change forgets what was undone";
    document.rows.setCell(0, 6, L"600");  // a change outside a step
    EXPECT_FALSE(history.canUndo());
}

}  // namespace
}  // namespace ravolen
