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

using Texts = std::vector<std::wstring>;
using Kind = RowsChange::Kind;
using Placed = std::vector<JobRows::PlacedRow>;

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

UnifiedChoice Unified(std::wstring folder, std::wstring format, bool folderTicked, bool formatTicked) {
    return {std::move(folder), std::move(format), folderTicked, formatTicked};
}

// The same rows kept the plain way: a vector of own values changed at once, read under the
// unified boxes by ShownJob. The model must read as these after every step.
struct PlainRows {
    std::vector<JobRow> rows;
    UnifiedChoice unified;
    RowId nextId = 1;

    std::vector<RenderJob> jobs() const {
        std::vector<RenderJob> jobs;
        for (const JobRow& row : rows) jobs.push_back(ShownJob(row.job, unified));
        return jobs;
    }
    Texts column(int column) const {
        Texts cells;
        for (const RenderJob& job : jobs()) cells.push_back(JobCells(job)[column - 1]);
        return cells;
    }
    JobRow row(std::size_t position) const { return rows[position]; }
    PlainRows snapshot() const { return *this; }
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
        if (JobCells(jobs()[position])[column - 1] == text) return;
        if (column == Folder && unified.folderTicked) {
            SavedValues saved = rows[position].saved ? *rows[position].saved : SavedValues{};
            saved.folder = text;
            rows[position].saved = std::make_shared<const SavedValues>(saved);
        }
        auto cells = JobCells(rows[position].job);
        cells[column - 1] = text;
        rows[position].job = JobFromCells(cells);
    }
    void setTicked(std::size_t position, bool ticked) { rows[position].ticked = ticked; }
    void setTicks(const std::vector<bool>& ticked) {
        for (std::size_t k = 0; k < std::min(ticked.size(), rows.size()); ++k) rows[k].ticked = ticked[k];
    }
    // Ticked, a row saves its own; unticked, its own becomes what it saved, or what it showed.
    void unify(const UnifiedChoice& next) {
        for (JobRow& row : rows) {
            SavedValues saved = row.saved ? *row.saved : SavedValues{};
            const NameParts name = SplitOutputName(row.job.outputName);
            if (!unified.folderTicked && next.folderTicked) saved.folder = row.job.outputFolder;
            if (!unified.formatTicked && next.formatTicked) saved.extension = name.extension;
            if (unified.folderTicked && !next.folderTicked) row.job.outputFolder = saved.folder.value_or(unified.folder);
            if (unified.formatTicked && !next.formatTicked) {
                row.job.outputName = name.stem + saved.extension.value_or(unified.format);
            }
            if (saved != SavedValues{} && (!row.saved || saved != *row.saved)) {
                row.saved = std::make_shared<const SavedValues>(saved);
            }
        }
        unified = next;
    }
    template <typename Taking>
    std::size_t takeWhere(Taking taking) {
        std::vector<JobRow> kept;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (!taking(i)) kept.push_back(rows[i]);
        }
        std::swap(rows, kept);
        return kept.size() - rows.size();
    }
    std::size_t takeTicked() { return takeWhere([&](std::size_t i) { return rows[i].ticked; }); }
    std::size_t takeAll() { return takeWhere([](std::size_t) { return true; }); }
    std::size_t take(const std::vector<std::size_t>& positions) {
        return takeWhere([&](std::size_t i) { return std::find(positions.begin(), positions.end(), i) != positions.end(); });
    }
    void insert(Placed placed) {
        for (auto& row : placed) row.row.id = nextId++;
        putBack(std::move(placed));
    }
    void putBack(Placed placed) {
        for (const auto& back : placed) {
            rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(std::min(back.position, rows.size())), back.row);
        }
    }
    void move(const std::vector<std::size_t>& from, const std::vector<std::size_t>& to) {
        Placed moving;
        for (std::size_t k = 0; k < from.size(); ++k) moving.push_back({to[k], rows[from[k]]});
        take(from);
        putBack(std::move(moving));
    }
    // The rows as they were, each with the tick it has now where it still stands.
    void restore(const PlainRows& to) {
        std::vector<JobRow> now = rows;
        rows = to.rows;
        unified = to.unified;
        for (JobRow& row : rows) {
            for (const JobRow& current : now) {
                if (current.id == row.id) row.ticked = current.ticked;
            }
        }
    }
};

struct Recorder : JobRowsObserver {
    std::vector<RowsChange> told;
    void rowsChanged(const RowsChange& change) override { told.push_back(change); }
};

RowsChange Told(Kind kind, std::vector<RowSpan> rows, unsigned columns = 0) {
    return {kind, std::move(rows), columns};
}

// One step of the table's life, done to the model and to the plain rows alike (`kept` is what the
// last step that kept the rows kept, for 撤销), and what the model tells of it.
struct Step {
    std::string name;
    std::function<void(JobRows&, JobRowsSnapshot&)> model;
    std::function<void(PlainRows&, PlainRows&)> plain;
    std::vector<RowsChange> told;
};

template <typename Change>
Step Do(std::string name, Change change, std::vector<RowsChange> told = {}) {
    return {std::move(name), change, change, std::move(told)};
}

std::vector<Step> Life() {
    const auto all = [](std::size_t rows) { return std::vector<RowSpan>{{0, rows}}; };
    const unsigned folder = ColumnBit(Folder), name = ColumnBit(Name);
    const auto unify = [](std::wstring f, std::wstring format, bool folderTicked, bool formatTicked) {
        return [=](auto& rows, auto&) { rows.unify(Unified(f, format, folderTicked, formatTicked)); };
    };
    RenderJob optional = Job(12);
    optional.frames = L"1,3";
    optional.sceneState = L"夜景";
    optional.preset = L"D:\\p.rps";
    RenderJob presetOnly = Job(13);
    presetOnly.preset = L"D:\\only.rps";
    return {
        Do("quick add of ten", [](auto& rows, auto&) {
            std::vector<RenderJob> jobs;
            for (int n = 0; n < 10; ++n) jobs.push_back(Job(n));
            rows.append(jobs);
        }, {Told(Kind::Inserted, all(10))}),
        Do("the session brings one with its saved values", [](auto& rows, auto&) {
            rows.append(JobRow{Job(10), false, std::make_shared<const SavedValues>(SavedValues{L"D:\\mine", L".exr"}), 0});
        }, {Told(Kind::Inserted, {{10, 1}})}),
        Do("a job list of two, one using every optional column, one only a preset", [=](auto& rows, auto&) {
            rows.append(2, [=](std::size_t i) { return JobRow{i == 0 ? optional : presetOnly, false, nullptr, 0}; });
        }, {Told(Kind::Inserted, {{11, 2}})}),
        Do("a camera edited in place", [](auto& rows, auto&) { rows.setCell(2, Camera, L"Cam01"); },
           {Told(Kind::Cells, {{2, 1}}, ColumnBit(Camera))}),
        Do("the same text again changes nothing", [](auto& rows, auto&) { rows.setCell(2, Camera, L"Cam01"); }),
        Do("a tick", [](auto& rows, auto&) { rows.setTicked(1, true); }, {Told(Kind::Ticks, {{1, 1}})}),
        Do("勾选已完成", [](auto& rows, auto&) {
            rows.setTicks({false, true, false, true, true, false, false, false, false, true});
        }, {Told(Kind::Ticks, {{3, 7}})}),
        Do("the rows kept for 撤销", [](auto& rows, auto& kept) { kept = rows.snapshot(); }),
        Do("unified folder ticked", unify(L"U", L".tga", true, false), {Told(Kind::Cells, all(13), folder)}),
        Do("typing in the unified folder box", unify(L"U2", L".tga", true, false), {Told(Kind::Cells, all(13), folder)}),
        Do("a folder edited while it is ticked is the row's own", [](auto& rows, auto&) { rows.setCell(5, Folder, L"own5"); },
           {Told(Kind::Cells, {{5, 1}}, folder)}),
        Do("\"-\"", [](auto& rows, auto&) { rows.takeTicked(); }, {Told(Kind::Removed, {{1, 1}, {3, 2}, {9, 1}})}),
        Do("typing in the unified folder box while they are out", unify(L"U4", L".tga", true, false),
           {Told(Kind::Cells, all(9), folder)}),
        Do("撤销 to before the tick, a tick since kept", [](auto& rows, auto& kept) {
            rows.setTicked(0, true);
            rows.restore(kept);
        }, {Told(Kind::Ticks, {{0, 1}}), Told(Kind::Replaced, all(13))}),
        Do("the optional row's camera edited after 撤销 keeps its other cells", [](auto& rows, auto&) {
            rows.setCell(11, Camera, L"CamX");
        }, {Told(Kind::Cells, {{11, 1}}, ColumnBit(Camera))}),
        Do("unified folder and format ticked", [](auto& rows, auto&) {
            rows.unify(Unified(L"U", L".tga", true, false));
            rows.unify(Unified(L"U", L".png", true, true));
        }, {Told(Kind::Cells, all(13), folder), Told(Kind::Cells, all(13), name)}),
        Do("a name edited in place", [](auto& rows, auto&) { rows.setCell(7, Name, L"lobby.bmp"); },
           {Told(Kind::Cells, {{7, 1}}, name)}),
        Do("copies of rows 5 and 6 right after each, pasted rows at the end, rows 3 and 9 moved up", [](auto& rows, auto&) {
            rows.insert({{6, rows.row(5)}, {8, rows.row(6)}});
            rows.insert({{15, JobRow{Job(30), false, nullptr, 0}}, {99, JobRow{Job(31), false, nullptr, 0}}});
            rows.move({3, 9}, {2, 8});
        }, {Told(Kind::Inserted, {{6, 1}, {8, 1}}), Told(Kind::Inserted, {{15, 2}}), Told(Kind::Removed, {{3, 1}, {9, 1}}),
            Told(Kind::Inserted, {{2, 1}, {8, 1}})}),
        Do("typing .j then .jpg: every row follows, copied, pasted and moved ones too", [=](auto& rows, auto&) {
            rows.unify(Unified(L"U", L".j", true, true));
            rows.unify(Unified(L"U", L".jpg", true, true));
        }, {Told(Kind::Cells, all(17), name), Told(Kind::Cells, all(17), name)}),
        Do("typing in the unticked box changes no row", [](auto& rows, auto&) {
            rows.unify(Unified(L"U", L".jpg", false, true));
            rows.unify(Unified(L"V", L".jpg", false, true));
        }, {Told(Kind::Cells, all(17), folder)}),
        Do("unified format unticked: saved extensions back, the others as they showed", unify(L"V", L".jpg", false, false),
           {Told(Kind::Cells, all(17), name)}),
        Do("the copies deleted by their places", [](auto& rows, auto&) { rows.take({6, 8, 15, 16}); },
           {Told(Kind::Removed, {{6, 1}, {8, 1}, {15, 2}})}),
        Do("清空", [](auto& rows, auto&) { rows.takeAll(); }, {Told(Kind::Removed, all(13))}),
        Do("a row after it has an id of its own", [](auto& rows, auto&) { rows.append(JobRow{Job(20), true, nullptr, 0}); },
           {Told(Kind::Inserted, all(1))}),
        Do("撤销 of it all: the boxes as they were", [](auto& rows, auto& kept) { rows.restore(kept); },
           {Told(Kind::Replaced, all(13))}),
        Do("the first and the last moved to the ends the other way", [](auto& rows, auto&) {
            rows.move({0, 12}, {0, 1});
            rows.move({0}, {12});
        }, {Told(Kind::Removed, {{0, 1}, {12, 1}}), Told(Kind::Inserted, {{0, 2}}), Told(Kind::Removed, {{0, 1}}),
            Told(Kind::Inserted, {{12, 1}})}),
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
        JobRowsSnapshot modelKept;
        PlainRows plainKept;
        std::vector<std::pair<JobRowsSnapshot, std::vector<RenderJob>>> snapshots;
        for (const Step& step : Life()) {
            SCOPED_TRACE(step.name);
            recorder.told.clear();
            step.model(model, modelKept);
            step.plain(plain, plainKept);
            EXPECT_EQ(Described(Rows(model.snapshot())), Described(plain.rows));
            EXPECT_EQ(recorder.told, step.told);
            EXPECT_EQ(model.jobs(), plain.jobs());
            EXPECT_EQ(model.column(Name), plain.column(Name));
            for (std::size_t i = 0; i < model.count(); ++i) EXPECT_EQ(model.find(model.id(i)), i);
            snapshots.emplace_back(model.snapshot(), plain.jobs());
        }
        for (const auto& [snapshot, then] : snapshots) EXPECT_EQ(snapshot.jobs(), then);
        model.unwatch(recorder);
    }
}

// What a reader sees: the ticked boxes over each row's own values, the names' stems kept whole
// through every keystroke; unticking gives each row its own back, and a row added after the tick
// keeps what it showed. A session saved under the boxes reads back the same, before and after
// unticking.
TEST(JobRows, TheUnifiedBoxesAreAppliedWhenARowIsReadAndGoneWhenUnticked) {
    JobRows rows(2);
    for (const auto& [folder, name] : std::vector<std::pair<std::wstring, std::wstring>>{
             {L"F1", L"scene.tga"}, {L"F2", L"a.b.tga"}, {L"F3", L"scene"}, {L"F4", L"v1.2"}}) {
        rows.append(JobRow{RenderJob{L"s.max", L"默认", folder, name, L"默认", L"默认"}, false, nullptr, 0});
    }
    rows.unify(Unified(L"U", L".jpg", true, true));
    rows.setCell(1, Name, L"lobby.bmp");  // edited while ticked: the stem shows, the extension is saved
    rows.setCell(0, Folder, L"mine");      // shows the box's, and comes back when unticked
    rows.append(JobRow{RenderJob{L"n.max", L"默认", L"F9", L"new.max.jpg", L"默认", L"默认"}, false, nullptr, 0});
    const Texts stems{L"scene", L"lobby", L"scene", L"v1", L"new.max"};
    for (const wchar_t* typed : {L".jp", L"", L"png", L".", L".png"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(typed)));
        rows.unify(Unified(L"U", typed, true, true));
        for (std::size_t k = 0; k < stems.size(); ++k) {
            EXPECT_EQ(rows.job(k).outputName, stems[k] + typed);
            EXPECT_EQ(rows.job(k).outputFolder, L"U");
        }
    }
    // The session, and the rows it brings back at the next start.
    const JobRowsSnapshot saved = rows.snapshot();
    JobRows restarted;
    restarted.unify(saved.unified());
    for (std::size_t k = 0; k < saved.count(); ++k) {
        const RenderJob shown = saved.job(k);
        const SharedSavedValues kept = saved.saved(k);
        RenderJob own = shown;
        own.outputName = OwnName(shown.outputName, L".png", kept ? kept->extension : std::nullopt);
        restarted.append(JobRow{own, false, kept, 0});
    }
    EXPECT_EQ(restarted.jobs(), rows.jobs());
    for (JobRows* table : {&rows, &restarted}) {
        table->unify(Unified(L"U", L".png", false, false));
        EXPECT_EQ(table->column(Folder), (Texts{L"mine", L"F2", L"F3", L"F4", L"U"}));
        EXPECT_EQ(table->column(Name), (Texts{L"scene.tga", L"lobby.tga", L"scene", L"v1.2", L"new.max.png"}));
    }
}

// The session's thread reads a snapshot while the window's thread changes every row in every way.
TEST(JobRows, ASnapshotReadsTheSameOnAnotherThreadWhileTheRowsChange) {
    JobRows rows(16);
    rows.append(500, [](std::size_t i) { return JobRow{Job(static_cast<int>(i)), i % 3 == 0, nullptr, 0}; });
    rows.unify(Unified(L"U", L".png", false, true));
    const JobRowsSnapshot snapshot = rows.snapshot();
    const std::vector<RenderJob> then = snapshot.jobs();
    int differed = 0;
    std::thread reader([&] {
        for (int pass = 0; pass < 20; ++pass) differed += snapshot.jobs() != then;
    });
    for (int pass = 0; pass < 20; ++pass) {
        rows.unify(Unified(L"U", L".exr", true, true));
        rows.setCell(static_cast<std::size_t>(pass) * 7, Name, L"edited.tif");
        rows.unify(Unified(L"U", L".exr", false, false));
        rows.unify(Unified(L"U", L".png", true, true));
        const JobRowsSnapshot before = rows.snapshot();
        rows.takeTicked();
        rows.setTicks(std::vector<bool>(rows.count(), true));
        rows.move({0, 1}, {5, 6});
        rows.restore(before);
        rows.takeAll();
        rows.restore(before);
    }
    reader.join();
    EXPECT_EQ(differed, 0);
    EXPECT_EQ(snapshot.jobs(), then);
}

}  // namespace
}  // namespace ravolen
