#include "jobs/JobRows.h"

#include <algorithm>
#include <array>
#include <unordered_map>
#include <utility>

namespace ravolen {
namespace rows_detail {

// A row's own cells. The optional columns are 默认 in nearly every table: their cells are kept
// only for a row that uses them, which saves a hundred bytes a row.
struct CellTexts {
    using Optional = std::array<std::wstring, JobColumnCount - JobBaseColumnCount>;
    std::array<std::wstring, JobBaseColumnCount> base;
    std::unique_ptr<Optional> optional;  // null: all 默认

    CellTexts() = default;
    CellTexts(const CellTexts& other)
        : base(other.base), optional(other.optional ? std::make_unique<Optional>(*other.optional) : nullptr) {}
    CellTexts& operator=(const CellTexts&) = delete;
};

// A row as stored. Its texts are never written once stored: a row with a cell changed gets new
// texts, so copies of the row (in a block a snapshot holds) share them and copying a block copies
// pointers, not paths.
struct StoredRow {
    std::shared_ptr<const CellTexts> cells;
    SharedSavedValues saved;
    RowId id = 0;
    bool ticked = false;
};

}  // namespace rows_detail

using rows_detail::Block;
using rows_detail::CellTexts;
using rows_detail::StoredRow;

namespace {

constexpr std::array<std::wstring RenderJob::*, JobColumnCount> CellMembers{
    &RenderJob::scene,      &RenderJob::camera, &RenderJob::outputFolder,
    &RenderJob::outputName, &RenderJob::width,  &RenderJob::height,
    &RenderJob::frames,     &RenderJob::sceneState, &RenderJob::preset};

bool IsColumn(int column) { return column >= 1 && column <= JobColumnCount; }
std::size_t Index(int column) { return static_cast<std::size_t>(column - 1); }
std::wstring& CellOf(RenderJob& job, int column) { return job.*CellMembers[Index(column)]; }

const std::wstring& OwnCell(const StoredRow& row, int column) {
    static const std::wstring Default(DefaultMarker);
    const CellTexts& texts = *row.cells;
    if (column <= JobBaseColumnCount) return texts.base[Index(column)];
    return texts.optional ? (*texts.optional)[Index(column - JobBaseColumnCount)] : Default;
}

std::wstring& WritableCell(CellTexts& texts, int column) {
    if (column <= JobBaseColumnCount) return texts.base[Index(column)];
    if (!texts.optional) {
        texts.optional = std::make_unique<CellTexts::Optional>();
        texts.optional->fill(std::wstring(DefaultMarker));
    }
    return (*texts.optional)[Index(column - JobBaseColumnCount)];
}

RenderJob OwnJob(const StoredRow& row) {
    RenderJob job;
    for (int column = 1; column <= JobColumnCount; ++column) CellOf(job, column) = OwnCell(row, column);
    return job;
}

std::shared_ptr<const CellTexts> TextsOf(RenderJob&& job) {
    auto texts = std::make_shared<CellTexts>();
    const bool optional = UsesOptionalColumns(job);
    for (int column = 1; column <= JobColumnCount; ++column) {
        if (column <= JobBaseColumnCount || optional) WritableCell(*texts, column) = std::move(CellOf(job, column));
    }
    return texts;
}

// The row's texts with cells changed by `write(texts)`, as new texts.
template <typename Write>
void Rewrite(StoredRow& row, Write write) {
    auto texts = std::make_shared<CellTexts>(*row.cells);
    write(*texts);
    row.cells = std::move(texts);
}

void AddPosition(std::vector<RowSpan>& spans, std::size_t position) {
    if (!spans.empty() && spans.back().first + spans.back().count == position) {
        ++spans.back().count;
    } else {
        spans.push_back({position, 1});
    }
}

std::size_t BlockOf(const std::vector<std::size_t>& starts, std::size_t position) {
    const auto after = std::upper_bound(starts.begin(), starts.end(), position);
    return static_cast<std::size_t>(after - starts.begin()) - 1;
}

// A `taking` for takeWhere: the rows at these ascending positions.
auto AtPositions(const std::vector<std::size_t>& positions) {
    return [&positions, next = std::size_t{0}](std::size_t position, const StoredRow&) mutable {
        while (next < positions.size() && positions[next] < position) ++next;
        return next < positions.size() && positions[next] == position;
    };
}

// The row as unticking a box that was ticked under `before` leaves it: its own folder or name
// becomes what it saved, or else what it showed. Ticking a box saves the row's own value.
std::optional<StoredRow> Unified(const StoredRow& row, const UnifiedChoice& before, const UnifiedChoice& after) {
    const bool tickFolder = !before.folderTicked && after.folderTicked;
    const bool untickFolder = before.folderTicked && !after.folderTicked;
    const bool tickFormat = !before.formatTicked && after.formatTicked;
    const bool untickFormat = before.formatTicked && !after.formatTicked;
    SavedValues saved = row.saved ? *row.saved : SavedValues{};
    const std::wstring& ownFolder = OwnCell(row, JobColumnOutputFolder);
    const std::wstring& ownName = OwnCell(row, JobColumnOutputName);
    if (tickFolder) saved.folder = ownFolder;
    if (tickFormat) saved.extension = SplitOutputName(ownName).extension;
    std::wstring folder = untickFolder ? saved.folder.value_or(before.folder) : ownFolder;
    std::wstring name = untickFormat ? SplitOutputName(ownName).stem + saved.extension.value_or(before.format) : ownName;
    const bool savedChanged = (tickFolder || tickFormat) && (!row.saved || *row.saved != saved);
    if (!savedChanged && folder == ownFolder && name == ownName) return std::nullopt;
    StoredRow changed = row;
    if (savedChanged) changed.saved = std::make_shared<const SavedValues>(std::move(saved));
    if (folder != ownFolder || name != ownName) {
        Rewrite(changed, [&](CellTexts& texts) {
            WritableCell(texts, JobColumnOutputFolder) = std::move(folder);
            WritableCell(texts, JobColumnOutputName) = std::move(name);
        });
    }
    return changed;
}

// The columns every row reads differently under `after` than under `before`.
unsigned ColumnsReadAnew(const UnifiedChoice& before, const UnifiedChoice& after) {
    unsigned columns = 0;
    if (before.folderTicked != after.folderTicked || (after.folderTicked && before.folder != after.folder)) {
        columns |= ColumnBit(JobColumnOutputFolder);
    }
    if (before.formatTicked != after.formatTicked || (after.formatTicked && before.format != after.format)) {
        columns |= ColumnBit(JobColumnOutputName);
    }
    return columns;
}

}  // namespace

const StoredRow* JobRowsSnapshot::at(std::size_t position) const {
    if (position >= count_) return nullptr;
    const std::size_t block = BlockOf(starts_, position);
    return &(*blocks_[block])[position - starts_[block]];
}

JobRow JobRowsSnapshot::row(std::size_t position) const {
    const StoredRow* stored = at(position);
    if (!stored) return {};
    return {OwnJob(*stored), stored->ticked, stored->saved, stored->id};
}

RenderJob JobRowsSnapshot::job(std::size_t position) const {
    const StoredRow* stored = at(position);
    return stored ? ShownJob(OwnJob(*stored), unified_) : RenderJob{};
}

std::wstring JobRowsSnapshot::cell(std::size_t position, int column) const {
    const StoredRow* stored = IsColumn(column) ? at(position) : nullptr;
    return stored ? ShownCell(OwnCell(*stored, column), column, unified_) : std::wstring();
}

bool JobRowsSnapshot::ticked(std::size_t position) const {
    const StoredRow* stored = at(position);
    return stored && stored->ticked;
}

SharedSavedValues JobRowsSnapshot::saved(std::size_t position) const {
    const StoredRow* stored = at(position);
    return stored ? stored->saved : nullptr;
}

RowId JobRowsSnapshot::id(std::size_t position) const {
    const StoredRow* stored = at(position);
    return stored ? stored->id : 0;
}

std::vector<RenderJob> JobRowsSnapshot::jobs() const {
    std::vector<RenderJob> jobs;
    jobs.reserve(count_);
    for (const auto& block : blocks_) {
        for (const StoredRow& stored : *block) jobs.push_back(ShownJob(OwnJob(stored), unified_));
    }
    return jobs;
}

std::vector<std::wstring> JobRowsSnapshot::column(int column) const {
    std::vector<std::wstring> cells;
    if (!IsColumn(column)) return cells;
    cells.reserve(count_);
    for (const auto& block : blocks_) {
        for (const StoredRow& stored : *block) cells.push_back(ShownCell(OwnCell(stored, column), column, unified_));
    }
    return cells;
}

std::optional<std::size_t> JobRowsSnapshot::find(RowId id, std::size_t hint) const {
    if (const StoredRow* stored = at(hint); stored && stored->id == id) return hint;
    if (count_ == 0) return std::nullopt;
    // Outward from the hint's block: a row moves by the rows that came or went before it, which
    // for a "-" or 撤销 of a few rows keeps it in its block or the next, wherever it stands.
    const std::size_t home = BlockOf(starts_, std::min(hint, count_ - 1));
    const auto search = [&](std::size_t block) -> std::optional<std::size_t> {
        const Block& rows = *blocks_[block];
        for (std::size_t k = 0; k < rows.size(); ++k) {
            if (rows[k].id == id) return starts_[block] + k;
        }
        return std::nullopt;
    };
    for (std::size_t distance = 0;; ++distance) {
        const bool after = home + distance < blocks_.size();
        const bool before = distance > 0 && distance <= home;
        if (!after && !before) return std::nullopt;
        if (after) {
            if (const auto found = search(home + distance)) return found;
        }
        if (before) {
            if (const auto found = search(home - distance)) return found;
        }
    }
}

JobRows::JobRows(std::size_t blockRows) : blockRows_(std::max<std::size_t>(blockRows, 1)) {}

JobRowsSnapshot JobRows::snapshot() const {
    lastOwned_ = false;
    return *this;
}

void JobRows::place(JobRow row) {
    if (blocks_.empty() || blocks_.back()->size() >= blockRows_) {
        blocks_.push_back(std::make_shared<Block>());
        blocks_.back()->reserve(blockRows_);
        starts_.push_back(count_);
        lastOwned_ = true;
    } else if (!lastOwned_) {
        blocks_.back() = std::make_shared<Block>(*blocks_.back());
        blocks_.back()->reserve(blockRows_);
        lastOwned_ = true;
    }
    blocks_.back()->push_back({TextsOf(std::move(row.job)), std::move(row.saved), nextId_++, row.ticked});
    ++count_;
}

void JobRows::appended(std::size_t first) {
    if (count_ != first) tell({RowsChange::Kind::Inserted, {{first, count_ - first}}, 0});
}

std::size_t JobRows::append(JobRow row) {
    const std::size_t first = count_;
    place(std::move(row));
    appended(first);
    return first;
}

void JobRows::append(std::vector<RenderJob> jobs) {
    const std::size_t first = count_;
    for (RenderJob& job : jobs) place({std::move(job), false, nullptr, 0});
    appended(first);
}

void JobRows::append(std::size_t count, const std::function<JobRow(std::size_t)>& make) {
    const std::size_t first = count_;
    try {
        for (std::size_t i = 0; i < count; ++i) place(make(i));
    } catch (...) {
        appended(first);  // the rows that came are in the table: the observers learn of them
        throw;
    }
    appended(first);
}

// The row at `position` as `change(row)` leaves it, in a new block; false when it changed nothing.
template <typename Change>
bool JobRows::changeRow(std::size_t position, Change change) {
    if (position >= count_) return false;
    const std::size_t block = BlockOf(starts_, position);
    StoredRow row = (*blocks_[block])[position - starts_[block]];
    if (!change(row)) return false;
    auto copy = std::make_shared<Block>(*blocks_[block]);
    (*copy)[position - starts_[block]] = std::move(row);
    blocks_[block] = std::move(copy);
    if (block + 1 == blocks_.size()) lastOwned_ = true;
    return true;
}

// Each row `change(position, row)` gives anew; a block without such a row stays as it is. The
// span from the first to the last row changed, empty when none.
template <typename Needs, typename Change>
RowSpan JobRows::changeRows(Needs needs, Change change) {
    std::size_t first = count_, last = 0;
    for (std::size_t block = 0; block < blocks_.size(); ++block) {
        const Block& rows = *blocks_[block];
        std::shared_ptr<Block> copy;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const std::size_t position = starts_[block] + i;
            if (!needs(position, rows[i])) continue;
            std::optional<StoredRow> changed = change(position, rows[i]);
            if (!changed) continue;
            if (!copy) copy = std::make_shared<Block>(rows);
            (*copy)[i] = std::move(*changed);
            first = std::min(first, position);
            last = position;
        }
        if (copy) {
            blocks_[block] = std::move(copy);
            if (block + 1 == blocks_.size()) lastOwned_ = true;
        }
    }
    return first < count_ ? RowSpan{first, last - first + 1} : RowSpan{};
}

void JobRows::setCell(std::size_t position, int column, std::wstring text) {
    if (!IsColumn(column) || position >= count_ || cell(position, column) == text) return;
    changeRow(position, [&](StoredRow& row) {
        // Under the ticked unified folder a folder typed is the row's own, shown once unticked.
        if (column == JobColumnOutputFolder && unified_.folderTicked) {
            SavedValues saved = row.saved ? *row.saved : SavedValues{};
            saved.folder = text;
            row.saved = std::make_shared<const SavedValues>(std::move(saved));
        }
        Rewrite(row, [&](CellTexts& texts) { WritableCell(texts, column) = std::move(text); });
        return true;
    });
    tell({RowsChange::Kind::Cells, {{position, 1}}, ColumnBit(column)});
}

void JobRows::setTicked(std::size_t position, bool ticked) {
    if (changeRow(position, [&](StoredRow& row) { return std::exchange(row.ticked, ticked) != ticked; })) {
        tell({RowsChange::Kind::Ticks, {{position, 1}}, 0});
    }
}

void JobRows::setTicks(const std::vector<bool>& ticked) {
    const RowSpan changed = changeRows(
        [&](std::size_t position, const StoredRow& row) {
            return position < ticked.size() && row.ticked != ticked[position];
        },
        [&](std::size_t position, const StoredRow& row) {
            StoredRow flipped = row;
            flipped.ticked = ticked[position];
            return std::optional<StoredRow>(std::move(flipped));
        });
    if (changed.count > 0) tell({RowsChange::Kind::Ticks, {changed}, 0});
}

void JobRows::unify(UnifiedChoice unified) {
    const UnifiedChoice before = std::exchange(unified_, std::move(unified));
    const UnifiedChoice& after = unified_;
    const bool ticks = before.folderTicked != after.folderTicked || before.formatTicked != after.formatTicked;
    if (ticks) {
        changeRows([](std::size_t, const StoredRow&) { return true; },
                   [&](std::size_t, const StoredRow& row) { return Unified(row, before, after); });
    }
    const unsigned columns = ColumnsReadAnew(before, after);
    if (columns != 0 && count_ > 0) tell({RowsChange::Kind::Cells, {{0, count_}}, columns});
}

// The rows for which `taking(position, row)` holds, asked in ascending order of position, out of
// the table (into `out`, with where each stood in `where`); neighbouring blocks left small become
// one, so taking rows leaves no trail of tiny blocks.
template <typename Taking>
std::size_t JobRows::takeWhere(Taking taking, std::vector<StoredRow>* out, std::vector<std::size_t>* where) {
    std::vector<RowSpan> removed;
    std::vector<std::shared_ptr<Block>> kept;
    kept.reserve(blocks_.size());
    const std::size_t small = (blockRows_ + 1) / 2;
    const auto keep = [&](std::shared_ptr<Block> block, bool own) {
        if (block->empty()) return;
        if (!kept.empty() && kept.back()->size() + block->size() <= small) {
            // A block made here is this table's alone; one kept as it was may be a snapshot's.
            if (!own) kept.back() = std::make_shared<Block>(*kept.back());
            kept.back()->insert(kept.back()->end(), block->begin(), block->end());
        } else {
            kept.push_back(std::move(block));
        }
    };
    std::size_t position = 0;
    std::size_t gone = 0;
    for (auto& block : blocks_) {
        auto rest = std::make_shared<Block>();
        bool any = false;
        for (const StoredRow& row : *block) {
            if (taking(position, row)) {
                if (out) out->push_back(row);
                if (where) where->push_back(position);
                AddPosition(removed, position);
                any = true;
                ++gone;
            } else {
                rest->push_back(row);
            }
            ++position;
        }
        keep(any ? std::move(rest) : std::move(block), any);
    }
    if (gone == 0) return 0;
    blocks_ = std::move(kept);
    count_ -= gone;
    restart();
    lastOwned_ = false;
    tell({RowsChange::Kind::Removed, std::move(removed), 0});
    return gone;
}

std::size_t JobRows::takeTicked() {
    return takeWhere([](std::size_t, const StoredRow& row) { return row.ticked; });
}

std::size_t JobRows::take(const std::vector<std::size_t>& positions) { return takeWhere(AtPositions(positions)); }

std::size_t JobRows::takeAll() {
    const std::size_t gone = count_;
    blocks_.clear();
    starts_.clear();
    count_ = 0;
    if (gone > 0) tell({RowsChange::Kind::Removed, {{0, gone}}, 0});
    return gone;
}

// One pass over the blocks: a block no row lands in stays as it is, so placing a few rows costs the
// same however many rows stand; the rows of a block some land in, and those, go into new blocks.
template <typename Position, typename Make>
void JobRows::placeAt(std::size_t rowCount, Position positionOf, Make make) {
    if (rowCount == 0) return;
    std::vector<std::shared_ptr<Block>> out;
    out.reserve(blocks_.size() + rowCount / blockRows_ + 2);
    Block* filling = nullptr;  // the last block of `out` while it is one made here
    const auto room = [&]() -> Block& {
        if (!filling || filling->size() >= blockRows_) {
            out.push_back(std::make_shared<Block>());
            filling = out.back().get();
            filling->reserve(blockRows_);
        }
        return *filling;
    };
    std::vector<RowSpan> inserted;
    std::size_t placed = 0;  // rows of the table as it becomes, so far
    std::size_t next = 0;    // the next row to place
    const auto putNext = [&] {
        AddPosition(inserted, placed++);
        room().push_back(make(next++));
    };
    for (auto& block : blocks_) {
        const std::size_t size = block->size();
        // A row lands in this block when its position comes before the block's last row, counting
        // the rows that land before it.
        std::size_t landing = next;
        while (landing < rowCount && positionOf(landing) < placed + size + (landing - next)) ++landing;
        if (landing == next) {
            placed += size;
            out.push_back(std::move(block));
            filling = nullptr;
            continue;
        }
        for (const StoredRow& row : *block) {
            while (next < landing && positionOf(next) <= placed) putNext();
            room().push_back(row);
            ++placed;
        }
        while (next < landing) putNext();
    }
    while (next < rowCount) putNext();  // past the end: clamped to it

    blocks_ = std::move(out);
    count_ = placed;
    lastOwned_ = filling != nullptr;
    restart();
    tell({RowsChange::Kind::Inserted, std::move(inserted), 0});
}

void JobRows::insert(std::vector<PlacedRow> rows) {
    placeAt(
        rows.size(), [&](std::size_t k) { return rows[k].position; },
        [&](std::size_t k) {
            JobRow& row = rows[k].row;
            return StoredRow{TextsOf(std::move(row.job)), std::move(row.saved), nextId_++, row.ticked};
        });
}

void JobRows::move(const std::vector<std::size_t>& from, const std::vector<std::size_t>& to) {
    if (from.size() != to.size() || from == to || from.empty() || from.back() >= count_) return;
    // The rows go as they are stored, their texts shared with the snapshots of 撤销.
    std::vector<StoredRow> moving;
    std::vector<std::size_t> taken;  // where each stood
    moving.reserve(from.size());
    if (takeWhere(AtPositions(from), &moving, &taken) == 0) return;
    // Positions not ascending or repeated: the rows go back where they stood.
    const std::vector<std::size_t>& places = moving.size() == to.size() ? to : taken;
    placeAt(
        moving.size(), [&](std::size_t k) { return places[k]; }, [&](std::size_t k) { return std::move(moving[k]); });
}

void JobRows::restore(const JobRowsSnapshot& to) {
    // Rows of a block both hold are the same rows with the same ticks (a tick makes a new block);
    // the others are looked up by id for the tick they have now.
    std::vector<const Block*> shared;
    for (const auto& block : to.blocks_) shared.push_back(block.get());
    std::sort(shared.begin(), shared.end());
    const auto holds = [&](const Block* block) { return std::binary_search(shared.begin(), shared.end(), block); };
    std::unordered_map<RowId, bool> ticks;
    std::vector<const Block*> before;
    for (const auto& block : blocks_) {
        before.push_back(block.get());
        if (holds(block.get())) continue;
        for (const StoredRow& row : *block) ticks.emplace(row.id, row.ticked);
    }
    std::sort(before.begin(), before.end());
    const UnifiedChoice shownBefore = unified_;
    static_cast<JobRowsSnapshot&>(*this) = to;
    lastOwned_ = false;
    const bool everyRow = ColumnsReadAnew(shownBefore, unified_) != 0;
    std::vector<RowSpan> anew;
    for (std::size_t block = 0; block < blocks_.size(); ++block) {
        const bool same = std::binary_search(before.begin(), before.end(), blocks_[block].get());
        if (!same) {
            std::shared_ptr<Block> copy;
            const Block& rows = *blocks_[block];
            for (std::size_t i = 0; i < rows.size(); ++i) {
                const auto now = ticks.find(rows[i].id);
                if (now == ticks.end() || now->second == rows[i].ticked) continue;
                if (!copy) copy = std::make_shared<Block>(rows);
                (*copy)[i].ticked = now->second;
            }
            if (copy) blocks_[block] = std::move(copy);
        }
        if (!same || everyRow) {
            for (std::size_t i = 0; i < blocks_[block]->size(); ++i) AddPosition(anew, starts_[block] + i);
        }
    }
    tell({RowsChange::Kind::Replaced, std::move(anew), 0});
}

void JobRows::restart() {
    starts_.resize(blocks_.size());
    std::size_t start = 0;
    for (std::size_t block = 0; block < blocks_.size(); ++block) {
        starts_[block] = start;
        start += blocks_[block]->size();
    }
}

void JobRows::watch(JobRowsObserver& observer) {
    if (std::find(observers_.begin(), observers_.end(), &observer) == observers_.end()) {
        observers_.push_back(&observer);
    }
}

void JobRows::unwatch(JobRowsObserver& observer) { std::erase(observers_, &observer); }

void JobRows::tell(RowsChange change) {
    for (JobRowsObserver* observer : observers_) observer->rowsChanged(change);
}

}  // namespace ravolen
