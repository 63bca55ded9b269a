#include "jobs/JobRows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "jobs/UnifiedSettings.h"

namespace ravolen {
namespace {

using Taken = std::vector<JobRows::TakenRow>;
using Texts = std::vector<std::wstring>;
using Kind = RowsChange::Kind;

constexpr int Camera = 2;
constexpr int Folder = JobColumnOutputFolder;
constexpr int Name = JobColumnOutputName;

RenderJob Job(int n) {
    const std::wstring k = std::to_wstring(n);
    return {L"D:\\scenes\\s" + k + L".max", L"默认", L"D:\\out\\f" + k, L"s" + k + L".tga", L"默认", L"默认"};
}

std::wstring Described(const JobRow& row) {
    std::wstring text = std::to_wstring(row.id) + (row.ticked ? L" ticked" : L"");
    for (const std::wstring& cell : JobCells(row.job)) text += L" | " + cell;
    if (row.saved) text += L" | saved " + row.saved->folder.value_or(L"-") + L" " + row.saved->extension.value_or(L"-");
    return text;
}

Texts Described(const std::vector<JobRow>& rows) {
    Texts texts;
    for (const JobRow& row : rows) texts.push_back(Described(row));
    return texts;
}

std::vector<JobRow> Rows(const JobRowsSnapshot& snapshot) {
    std::vector<JobRow> rows;
    for (std::size_t i = 0; i < snapshot.count(); ++i) rows.push_back(snapshot.row(i));
    return rows;
}

Texts Described(const Taken& taken) {
    Texts texts;
    for (const auto& row : taken) texts.push_back(std::to_wstring(row.position) + L": " + Described(row.row));
    return texts;
}

// The same rows kept the plain way: a vector changed at once, the unified settings by their own
// functions over whole columns. The model must read as these after every step.
struct PlainRows {
    std::vector<JobRow> rows;
    RowId nextId = 1;

    Texts column(int column) const {
        Texts cells;
        for (const JobRow& row : rows) cells.push_back(JobCells(row.job)[column - 1]);
        return cells;
    }
    SavedEntries saved(std::optional<std::wstring> SavedValues::*which) const {
        SavedEntries entries;
        for (const JobRow& row : rows) entries.push_back(row.saved ? (*row.saved).*which : std::nullopt);
        return entries;
    }
    void keep(std::optional<std::wstring> SavedValues::*which, const Texts& values) {
        for (std::size_t k = 0; k < values.size(); ++k) {
            SavedValues saved = rows[k].saved ? *rows[k].saved : SavedValues{};
            saved.*which = values[k];
            rows[k].saved = std::make_shared<const SavedValues>(saved);
        }
    }

    JobRow row(std::size_t position) const { return rows[position]; }
    std::size_t append(JobRow row) {
        row.id = nextId++;
        rows.push_back(row);
        return rows.size() - 1;
    }
    void append(std::vector<RenderJob> jobs) {
        for (const RenderJob& job : jobs) append(JobRow{job, false, nullptr, 0});
    }
    void append(std::size_t count, const std::function<JobRow(std::size_t)>& make) {
        for (std::size_t i = 0; i < count; ++i) append(make(i));
    }
    void setCell(std::size_t position, int column, std::wstring text) {
        auto cells = JobCells(rows[position].job);
        cells[column - 1] = text;
        rows[position].job = JobFromCells(cells);
    }
    void setTicked(std::size_t position, bool ticked) { rows[position].ticked = ticked; }
    void setTicks(const std::vector<bool>& ticked) {
        for (std::size_t k = 0; k < std::min(ticked.size(), rows.size()); ++k) rows[k].ticked = ticked[k];
    }
    template <typename Change>
    void rewrite(int column, Change change) {
        Texts cells = this->column(column);
        change(cells);
        setColumn(column, cells);
    }
    void setColumn(int column, std::vector<std::wstring> cells) {
        for (std::size_t k = 0; k < std::min(cells.size(), rows.size()); ++k) setCell(k, column, cells[k]);
    }
    void fillColumn(int column, std::wstring value) { setColumn(column, Texts(rows.size(), value)); }
    void changeColumn(int column, const SharedCellRule& rule) {
        rewrite(column, [&](Texts& cells) { for (std::wstring& cell : cells) cell = rule->apply(cell); });
    }
    void tickUnifiedFolder(std::wstring_view unified) {
        Texts saved;
        rewrite(Folder, [&](Texts& folders) { TickUnifiedFolder(folders, unified, saved); });
        keep(&SavedValues::folder, saved);
    }
    void untickUnifiedFolder() {
        rewrite(Folder, [&](Texts& folders) { UntickUnifiedFolder(folders, saved(&SavedValues::folder)); });
    }
    void tickUnifiedFormat(std::wstring_view format) {
        Texts saved;
        rewrite(Name, [&](Texts& names) { TickUnifiedFormat(names, format, saved); });
        keep(&SavedValues::extension, saved);
    }
    void changeUnifiedFormat(std::wstring_view applied, std::wstring_view format) {
        rewrite(Name, [&](Texts& names) { ChangeUnifiedFormat(names, applied, format); });
    }
    void untickUnifiedFormat(std::wstring_view applied) {
        rewrite(Name, [&](Texts& names) { UntickUnifiedFormat(names, applied, saved(&SavedValues::extension)); });
    }
    Taken take(bool all) {
        Taken taken;
        std::vector<JobRow> kept;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (all || rows[i].ticked) {
                taken.push_back({i, rows[i]});
            } else {
                kept.push_back(rows[i]);
            }
        }
        rows = kept;
        return taken;
    }
    Taken takeTicked() { return take(false); }
    Taken take(const std::vector<std::size_t>& positions) {
        Taken taken;
        for (std::size_t k = positions.size(); k-- > 0;) {
            taken.insert(taken.begin(), {positions[k], rows[positions[k]]});
            rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(positions[k]));
        }
        return taken;
    }
    void insert(Taken taken) {
        for (auto& row : taken) row.row.id = nextId++;
        putBack(std::move(taken));
    }
    void move(const std::vector<std::size_t>& from, const std::vector<std::size_t>& to) {
        Taken taken = take(from);
        for (std::size_t k = 0; k < taken.size(); ++k) taken[k].position = to[k];
        putBack(std::move(taken));
    }
    Taken takeAll() { return take(true); }
    void putBack(Taken taken) {
        for (const auto& back : taken) {
            rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(std::min(back.position, rows.size())), back.row);
        }
    }
};

struct Recorder : JobRowsObserver {
    std::vector<RowsChange> told;
    void rowsChanged(const RowsChange& change) override { told.push_back(change); }
};

RowsChange Told(Kind kind, std::vector<RowSpan> rows, int column = 0) {
    return {kind, std::move(rows), column ? ColumnBit(column) : 0u};
}

// One step of the table's life, done to the model and to the plain rows alike (`undo` is what
// the last "-" or 清空 took), and what the model tells of it.
struct Step {
    std::string name;
    std::function<void(JobRows&, Taken&)> model;
    std::function<void(PlainRows&, Taken&)> plain;
    std::vector<RowsChange> told;
};

template <typename Change>
Step Do(std::string name, Change change, std::vector<RowsChange> told = {}) {
    return {std::move(name), change, change, std::move(told)};
}

std::vector<Step> Life() {
    const SharedCellRule plus = MakeCellRule([](const std::wstring& cell) { return cell + L"+"; });
    const auto all = [](std::size_t rows) { return std::vector<RowSpan>{{0, rows}}; };
    return {
        Do("quick add of ten", [](auto& rows, Taken&) {
            std::vector<RenderJob> jobs;
            for (int n = 0; n < 10; ++n) jobs.push_back(Job(n));
            rows.append(jobs);
        }, {Told(Kind::Inserted, all(10))}),
        Do("the session brings one with its saved values", [](auto& rows, Taken&) {
            rows.append(JobRow{Job(10), false, std::make_shared<const SavedValues>(SavedValues{L"D:\\mine", L".exr"}), 0});
        }, {Told(Kind::Inserted, {{10, 1}})}),
        Do("a job list of two, made as they go in", [](auto& rows, Taken&) {
            rows.append(2, [](std::size_t i) { return JobRow{Job(11 + static_cast<int>(i)), false, nullptr, 0}; });
        }, {Told(Kind::Inserted, {{11, 2}})}),
        Do("a camera edited in place", [](auto& rows, Taken&) { rows.setCell(2, Camera, L"Cam01"); },
           {Told(Kind::Cells, {{2, 1}}, Camera)}),
        Do("the same text again changes nothing", [](auto& rows, Taken&) { rows.setCell(2, Camera, L"Cam01"); }),
        Do("a tick", [](auto& rows, Taken&) { rows.setTicked(1, true); }, {Told(Kind::Ticks, {{1, 1}})}),
        Do("勾选已完成", [](auto& rows, Taken&) {
            rows.setTicks({false, true, false, true, true, false, false, false, false, true});
        }, {Told(Kind::Ticks, {{3, 7}})}),
        Do("unified folder ticked", [](auto& rows, Taken&) { rows.tickUnifiedFolder(L"U"); }, {Told(Kind::Cells, all(13), Folder)}),
        Do("typing in the unified folder box", [](auto& rows, Taken&) { rows.fillColumn(Folder, L"U2"); }, {Told(Kind::Cells, all(13), Folder)}),
        Do("a folder edited after it wins", [](auto& rows, Taken&) { rows.setCell(5, Folder, L"own5"); },
           {Told(Kind::Cells, {{5, 1}}, Folder)}),
        Do("the next keystroke wins over that", [](auto& rows, Taken&) { rows.fillColumn(Folder, L"U3"); },
           {Told(Kind::Cells, all(13), Folder)}),
        Do("a rule over the folders right after it", [](auto& rows, Taken&) {
            rows.changeColumn(Folder, MakeCellRule([](const std::wstring& folder) { return folder + L"\\sub"; }));
        }, {Told(Kind::Cells, all(13), Folder)}),
        Do("and an edit after it again", [](auto& rows, Taken&) { rows.setCell(6, Folder, L"own6"); },
           {Told(Kind::Cells, {{6, 1}}, Folder)}),
        Do("\"-\"", [](auto& rows, Taken& undo) { undo = rows.takeTicked(); },
           {Told(Kind::Removed, {{1, 1}, {3, 2}, {9, 1}})}),
        Do("typing in the unified folder box while they are out", [](auto& rows, Taken&) { rows.fillColumn(Folder, L"U4"); },
           {Told(Kind::Cells, all(9), Folder)}),
        Do("撤销", [](auto& rows, Taken& undo) { rows.putBack(std::move(undo)); },
           {Told(Kind::Inserted, {{1, 1}, {3, 2}, {9, 1}})}),
        Do("unified folder unticked", [](auto& rows, Taken&) { rows.untickUnifiedFolder(); }, {Told(Kind::Cells, all(13), Folder)}),
        Do("unified format ticked", [](auto& rows, Taken&) { rows.tickUnifiedFormat(L".png"); }, {Told(Kind::Cells, all(13), Name)}),
        Do("typing .j then .jpg in the unified format box", [](auto& rows, Taken&) {
            rows.changeUnifiedFormat(L".png", L".j");
            rows.changeUnifiedFormat(L".j", L".jpg");
        }, {Told(Kind::Cells, all(13), Name), Told(Kind::Cells, all(13), Name)}),
        Do("a name edited in place", [](auto& rows, Taken&) { rows.setCell(7, Name, L"lobby.bmp"); },
           {Told(Kind::Cells, {{7, 1}}, Name)}),
        Do("typing .exr", [](auto& rows, Taken&) { rows.changeUnifiedFormat(L".jpg", L".exr"); },
           {Told(Kind::Cells, all(13), Name)}),
        Do("nine changes of the cameras, a camera edited among them", [plus](auto& rows, Taken&) {
            for (int i = 0; i < 4; ++i) rows.changeColumn(Camera, plus);
            rows.setCell(0, Camera, L"C0");
            for (int i = 0; i < 5; ++i) rows.changeColumn(Camera, plus);
        }, {Told(Kind::Cells, all(13), Camera), Told(Kind::Cells, all(13), Camera), Told(Kind::Cells, all(13), Camera),
            Told(Kind::Cells, all(13), Camera), Told(Kind::Cells, {{0, 1}}, Camera), Told(Kind::Cells, all(13), Camera),
            Told(Kind::Cells, all(13), Camera), Told(Kind::Cells, all(13), Camera), Told(Kind::Cells, all(13), Camera),
            Told(Kind::Cells, all(13), Camera)}),
        Do("清空", [](auto& rows, Taken& undo) { undo = rows.takeAll(); }, {Told(Kind::Removed, all(13))}),
        Do("a row after it has an id of its own", [](auto& rows, Taken&) { rows.append(JobRow{Job(20), true, nullptr, 0}); },
           {Told(Kind::Inserted, all(1))}),
        Do("撤销 of 清空, ahead of that row", [](auto& rows, Taken& undo) { rows.putBack(std::move(undo)); },
           {Told(Kind::Inserted, all(13))}),
        Do("unified format unticked", [](auto& rows, Taken&) { rows.untickUnifiedFormat(L".exr"); }, {Told(Kind::Cells, all(13), Name)}),
        Do("\"-\" of the last two, and of none", [](auto& rows, Taken& undo) {
            rows.setTicks(std::vector<bool>(14, false));
            rows.setTicked(12, true);
            rows.setTicked(13, true);
            undo = rows.takeTicked();
            rows.takeTicked();
        }, {Told(Kind::Ticks, {{1, 13}}), Told(Kind::Ticks, {{12, 1}}), Told(Kind::Ticks, {{13, 1}}),
            Told(Kind::Removed, {{12, 2}})}),
        Do("撤销 into a table that lost its first rows since: clamped to its end", [](auto& rows, Taken& undo) {
            rows.setTicks({true, true, true, true, true, true, true, true, true, true, true});
            rows.takeTicked();
            rows.putBack(std::move(undo));
        }, {Told(Kind::Ticks, {{0, 11}}), Told(Kind::Removed, all(11)), Told(Kind::Inserted, {{1, 2}})}),
        Do("every name given, two of them new", [](auto& rows, Taken&) {
            Texts names = rows.column(Name);
            names[0] = L"first.tif";
            names[2] = L"third.tif";
            rows.setColumn(Name, names);
        }, {Told(Kind::Cells, {{0, 3}}, Name)}),
        Do("unified format ticked, a row added and typed over, unticked: the new row keeps what it shows",
           [](auto& rows, Taken&) {
            rows.tickUnifiedFormat(L".png");
            rows.append(JobRow{Job(40), false, nullptr, 0});
            rows.changeUnifiedFormat(L".png", L".exr");
            rows.untickUnifiedFormat(L".exr");
        }, {Told(Kind::Cells, all(3), Name), Told(Kind::Inserted, {{3, 1}}), Told(Kind::Cells, all(4), Name),
            Told(Kind::Cells, all(3), Name)}),
        Do("the first name given: the change still reaches the last", [](auto& rows, Taken&) {
            rows.setColumn(Name, {L"x.tif"});
        }, {Told(Kind::Cells, all(1), Name)}),
        Do("a format given over one the names do not end in", [](auto& rows, Taken&) {
            rows.changeUnifiedFormat(L".exr", L"_a");
            rows.changeUnifiedFormat(L"_b", L".jpg");
        }, {Told(Kind::Cells, all(4), Name), Told(Kind::Cells, all(4), Name)}),
        Do("ten more, rows 3, 4 and 9 moved up a place, ticks and ids with them", [](auto& rows, Taken&) {
            rows.append(10, [](std::size_t i) { return JobRow{Job(50 + static_cast<int>(i)), i % 4 == 0, nullptr, 0}; });
            rows.move({3, 4, 9}, {2, 3, 8});
        }, {Told(Kind::Inserted, {{4, 10}}), Told(Kind::Removed, {{3, 2}, {9, 1}}), Told(Kind::Inserted, {{2, 2}, {8, 1}})}),
        Do("the first and the last moved to the ends the other way", [](auto& rows, Taken&) {
            rows.move({0, 13}, {0, 1});
            rows.move({0}, {13});
        }, {Told(Kind::Removed, {{0, 1}, {13, 1}}), Told(Kind::Inserted, {{0, 2}}), Told(Kind::Removed, {{0, 1}}),
            Told(Kind::Inserted, {{13, 1}})}),
        Do("a change of every name after the moves reaches the moved rows too", [](auto& rows, Taken&) {
            rows.changeColumn(Name, MakeCellRule([](const std::wstring& name) { return L"m_" + name; }));
        }, {Told(Kind::Cells, all(14), Name)}),
        Do("copies of rows 5 and 6 right after each, pasted rows at the end", [](auto& rows, Taken&) {
            rows.insert({{6, rows.row(5)}, {8, rows.row(6)}});
            rows.insert({{16, JobRow{Job(30), false, nullptr, 0}}, {99, JobRow{Job(31), false, nullptr, 0}}});
        }, {Told(Kind::Inserted, {{6, 1}, {8, 1}}), Told(Kind::Inserted, {{16, 2}})}),
        Do("the copies deleted by their places", [](auto& rows, Taken& undo) { undo = rows.take({6, 8, 16, 17}); },
           {Told(Kind::Removed, {{6, 1}, {8, 1}, {16, 2}})}),
    };
}

// Every operation, in the order a day at the table brings them, with blocks of every size from one
// row up: the rows read as the plain ones after each step, the observers hear exactly one change
// per operation that changed something, and a snapshot of every step still reads as it did.
TEST(JobRows, EveryOperationReadsAsPlainRowsTellsWhatChangedAndLeavesSnapshotsAlone) {
    for (const std::size_t blockRows : {1, 2, 3, 5, 256}) {
        SCOPED_TRACE(testing::Message() << blockRows << " rows a block");
        JobRows model(blockRows);
        PlainRows plain;
        Recorder recorder;
        model.watch(recorder);
        Taken modelUndo, plainUndo;
        std::vector<std::pair<JobRowsSnapshot, Texts>> snapshots;
        for (const Step& step : Life()) {
            SCOPED_TRACE(step.name);
            recorder.told.clear();
            step.model(model, modelUndo);
            step.plain(plain, plainUndo);
            EXPECT_EQ(Described(Rows(model.snapshot())), Described(plain.rows));
            EXPECT_EQ(Described(modelUndo), Described(plainUndo));
            EXPECT_EQ(recorder.told, step.told);
            std::vector<RenderJob> jobs;
            for (const JobRow& row : plain.rows) jobs.push_back(row.job);
            EXPECT_EQ(model.jobs(), jobs);
            EXPECT_EQ(model.column(Name), plain.column(Name));
            for (std::size_t i = 0; i < model.count(); ++i) EXPECT_EQ(model.find(model.id(i)), i);
            snapshots.emplace_back(model.snapshot(), Described(plain.rows));
        }
        for (const auto& [snapshot, then] : snapshots) EXPECT_EQ(Described(Rows(snapshot)), then);
        model.unwatch(recorder);
    }
}

// 撤销 and 重做 go back and forth between snapshots: every row as it was, with the tick it has now
// where it still stands; only the blocks that differ are told.
TEST(JobRows, RestoringASnapshotBringsItsRowsBackWithTheTicksOfNow) {
    for (const std::size_t blockRows : {1, 3, 256}) {
        SCOPED_TRACE(testing::Message() << blockRows << " rows a block");
        JobRows rows(blockRows);
        rows.append(12, [](std::size_t i) { return JobRow{Job(static_cast<int>(i)), i == 2, nullptr, 0}; });
        const JobRowsSnapshot before = rows.snapshot();
        rows.setCell(1, Camera, L"Cam01");
        rows.move({0, 7}, {10, 11});
        rows.take({3});
        rows.insert({{0, JobRow{Job(40), false, nullptr, 0}}});
        rows.fillColumn(Folder, L"U");
        rows.setTicked(rows.find(before.id(2)).value(), false);
        rows.setTicked(rows.find(before.id(5)).value(), true);
        const JobRowsSnapshot after = rows.snapshot();
        Recorder recorder;
        rows.watch(recorder);

        rows.restore(before);
        std::vector<JobRow> expected = Rows(before);
        expected[2].ticked = false;
        expected[5].ticked = true;
        EXPECT_EQ(Described(Rows(rows.snapshot())), Described(expected));
        ASSERT_EQ(recorder.told.size(), 1u);
        EXPECT_EQ(recorder.told[0].kind, Kind::Replaced);
        rows.restore(after);
        EXPECT_EQ(Described(Rows(rows.snapshot())), Described(Rows(after)));
        recorder.told.clear();
        rows.restore(rows.snapshot());
        EXPECT_EQ(recorder.told, std::vector<RowsChange>{Told(Kind::Replaced, {})});
        rows.unwatch(recorder);
    }
}

// The session's thread reads a snapshot while the window's thread changes every row in every way.
TEST(JobRows, ASnapshotReadsTheSameOnAnotherThreadWhileTheRowsChange) {
    JobRows rows(16);
    rows.append(500, [](std::size_t i) { return JobRow{Job(static_cast<int>(i)), i % 3 == 0, nullptr, 0}; });
    rows.tickUnifiedFormat(L".png");
    const JobRowsSnapshot snapshot = rows.snapshot();
    const std::vector<RenderJob> then = snapshot.jobs();
    int differed = 0;
    std::thread reader([&] {
        for (int pass = 0; pass < 20; ++pass) differed += snapshot.jobs() != then;
    });
    for (int pass = 0; pass < 20; ++pass) {
        rows.changeUnifiedFormat(L".png", L".exr");
        rows.setCell(static_cast<std::size_t>(pass) * 7, Name, L"edited.tif");
        rows.untickUnifiedFormat(L".exr");
        rows.tickUnifiedFormat(L".png");
        rows.tickUnifiedFolder(L"U");
        Taken taken = rows.takeTicked();
        rows.setTicks(std::vector<bool>(rows.count(), true));
        rows.putBack(std::move(taken));
        taken = rows.takeAll();
        rows.putBack(std::move(taken));
        rows.untickUnifiedFolder();
    }
    reader.join();
    EXPECT_EQ(differed, 0);
    EXPECT_EQ(snapshot.jobs(), then);
}

}  // namespace
}  // namespace ravolen
