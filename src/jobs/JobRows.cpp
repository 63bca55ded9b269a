#include "jobs/JobRows.h"

#include <algorithm>
#include <atomic>
#include <unordered_map>
#include <utility>

#include "jobs/UnifiedSettings.h"

namespace ravolen {
namespace rows_detail {

// A row's cells as last written (a layer made since gives a cell anew). The optional columns are
// 默认 in nearly every table: their cells are kept only for a row that uses them, which saves a
// hundred bytes a row.
struct CellTexts {
    using Optional = std::array<std::wstring, JobColumnCount - JobBaseColumnCount>;
    std::array<std::wstring, JobBaseColumnCount> base;
    std::unique_ptr<Optional> optional;  // null: all 默认

    CellTexts() = default;
    CellTexts(const CellTexts& other)
        : base(other.base), optional(other.optional ? std::make_unique<Optional>(*other.optional) : nullptr) {}
    CellTexts& operator=(const CellTexts&) = delete;
};

// Copies of a row (a block copied because a snapshot still reads it, a row kept for 撤销) share
// its texts until one of them writes a cell: copying a block for a step of 撤销 copies pointers,
// not paths. Never null but in a row moved from, which is not read again.
using StoredCells = std::shared_ptr<CellTexts>;

struct StoredRow {
    StoredCells cells;
    SharedSavedValues saved;
    RowId id = 0;
    std::array<Generation, JobColumnCount> written{};  // when each cell was last written
    bool ticked = false;
};

struct Block {
    std::vector<StoredRow> rows;
};

// One change of a whole column: a cell written before `since` reads `value`, or else its text as
// `rule` changes it.
struct Layer {
    Generation since;
    std::optional<std::wstring> value;
    SharedCellRule rule;
};

// Oldest first. A value makes every earlier layer of its column moot, so a value stands only first.
struct ColumnLayers {
    std::vector<Layer> layers;
};

}  // namespace rows_detail

using rows_detail::Block;
using rows_detail::ColumnLayers;
using rows_detail::Generation;
using rows_detail::Layer;
using rows_detail::CellTexts;
using rows_detail::StoredRow;

namespace {

using LayerSet = std::array<std::shared_ptr<const ColumnLayers>, JobColumnCount>;

// Beyond this many layers a column is written into its rows, so that a cell reads through a few
// changes at most (changes that join with the one before, such as typing a format, stay one).
constexpr std::size_t MostLayers = 8;

constexpr std::array<std::wstring RenderJob::*, JobColumnCount> CellMembers{
    &RenderJob::scene,      &RenderJob::camera, &RenderJob::outputFolder,
    &RenderJob::outputName, &RenderJob::width,  &RenderJob::height,
    &RenderJob::frames,     &RenderJob::sceneState, &RenderJob::preset};

bool IsColumn(int column) { return column >= 1 && column <= JobColumnCount; }
std::size_t Index(int column) { return static_cast<std::size_t>(column - 1); }
std::wstring& CellOf(RenderJob& job, int column) { return job.*CellMembers[Index(column)]; }

const std::wstring& CellOf(const StoredRow& row, int column) {
    static const std::wstring Default(DefaultMarker);
    const CellTexts& texts = *row.cells;
    if (column <= JobBaseColumnCount) return texts.base[Index(column)];
    return texts.optional ? (*texts.optional)[Index(column - JobBaseColumnCount)] : Default;
}

// Whether the row alone holds its texts, so that they may be written or moved out in place.
bool OwnsTexts(const StoredRow& row) {
    if (row.cells.use_count() != 1) return false;
    // A copy that shared them last let go on another thread: what it read comes before this write.
    std::atomic_thread_fence(std::memory_order_acquire);
    return true;
}

std::wstring& WritableCell(StoredRow& row, int column) {
    if (!OwnsTexts(row)) row.cells = std::make_shared<CellTexts>(*row.cells);
    CellTexts& texts = *row.cells;
    if (column <= JobBaseColumnCount) return texts.base[Index(column)];
    if (!texts.optional) {
        texts.optional = std::make_unique<CellTexts::Optional>();
        texts.optional->fill(std::wstring(DefaultMarker));
    }
    return (*texts.optional)[Index(column - JobBaseColumnCount)];
}

// Whether a layer of the column reaches the row's cell.
bool Layered(const StoredRow& row, int column, const ColumnLayers* layers) {
    return layers && !layers->layers.empty() && row.written[Index(column)] < layers->layers.back().since;
}

// The cell as it reads: as written, through the layers made since.
std::wstring Read(const StoredRow& row, int column, const ColumnLayers* layers) {
    const std::wstring& written = CellOf(row, column);
    if (!Layered(row, column, layers)) return written;
    auto layer = std::upper_bound(layers->layers.begin(), layers->layers.end(), row.written[Index(column)],
                                  [](Generation at, const Layer& l) { return at < l.since; });
    std::wstring text = layer->value ? *layer->value : layer->rule->apply(written);
    for (++layer; layer != layers->layers.end(); ++layer) {
        text = layer->value ? *layer->value : layer->rule->apply(text);
    }
    return text;
}

RenderJob JobOf(const StoredRow& row, const LayerSet& layers) {
    RenderJob job;
    for (int column = 1; column <= JobColumnCount; ++column) {
        CellOf(job, column) = Read(row, column, layers[Index(column)].get());
    }
    return job;
}

// The row as it reads, its texts moved out of it when `movable` (no snapshot reads its block) and
// no copy of the row shares them.
JobRow Taken(StoredRow& row, bool movable, const LayerSet& layers) {
    JobRow taken{{}, row.ticked, row.saved, row.id};
    movable = movable && OwnsTexts(row);
    for (int column = 1; column <= JobColumnCount; ++column) {
        const ColumnLayers* over = layers[Index(column)].get();
        if (Layered(row, column, over)) {
            CellOf(taken.job, column) = Read(row, column, over);
        } else if (movable && (column <= JobBaseColumnCount || row.cells->optional)) {
            CellOf(taken.job, column) = std::move(WritableCell(row, column));
        } else {
            CellOf(taken.job, column) = CellOf(row, column);
        }
    }
    return taken;
}

// Whether nothing but the rows holds the block, so that it may be changed or emptied in place.
bool Unshared(const std::shared_ptr<Block>& block) {
    if (block.use_count() != 1) return false;
    // A snapshot that held the block last let it go on another thread: what that thread read of
    // it comes before what this one writes.
    std::atomic_thread_fence(std::memory_order_acquire);
    return true;
}

// The block to change: a copy of its own first when a snapshot still reads it.
Block& Own(std::shared_ptr<Block>& block) {
    if (!Unshared(block)) block = std::make_shared<Block>(*block);
    return *block;
}

StoredRow Stored(JobRow&& row, Generation written) {
    StoredRow stored{std::make_shared<CellTexts>(), std::move(row.saved), row.id, {}, row.ticked};
    const bool optional = UsesOptionalColumns(row.job);
    for (int column = 1; column <= JobColumnCount; ++column) {
        if (column <= JobBaseColumnCount || optional) WritableCell(stored, column) = std::move(CellOf(row.job, column));
    }
    stored.written.fill(written);
    return stored;
}

void Keep(std::vector<StoredRow>& into, StoredRow& row, bool movable) {
    if (movable) {
        into.push_back(std::move(row));
    } else {
        into.push_back(row);
    }
}

void AddPosition(std::vector<RowSpan>& spans, std::size_t position) {
    if (!spans.empty() && spans.back().first + spans.back().count == position) {
        ++spans.back().count;
    } else {
        spans.push_back({position, 1});
    }
}

// The rows whose text or tick changed, from the first to the last.
class Changed {
public:
    void add(std::size_t position) {
        if (!any_) first_ = position;
        last_ = position;
        any_ = true;
    }
    bool any() const { return any_; }
    std::vector<RowSpan> span() const { return {{first_, last_ - first_ + 1}}; }

private:
    bool any_ = false;
    std::size_t first_ = 0;
    std::size_t last_ = 0;
};

RowsChange CellsChange(const Changed& changed, int column) {
    return {RowsChange::Kind::Cells, changed.span(), ColumnBit(column)};
}

class FunctionRule final : public CellRule {
public:
    explicit FunctionRule(std::function<std::wstring(const std::wstring&)> change) : change_(std::move(change)) {}
    std::wstring apply(const std::wstring& cell) const override { return change_(cell); }

private:
    std::function<std::wstring(const std::wstring&)> change_;
};

// ChangeUnifiedFormat's change of one name. Giving `format` over `applied` and then a later
// format over `format` is giving the later one over `applied`: typing a format stays one layer.
class FormatChange final : public CellRule {
public:
    FormatChange(std::wstring_view applied, std::wstring_view format) : applied_(applied), format_(format) {}
    std::wstring apply(const std::wstring& name) const override { return NameWithFormat(name, applied_, format_); }
    SharedCellRule then(const CellRule& later) const override {
        const auto* next = dynamic_cast<const FormatChange*>(&later);
        if (!next || next->applied_ != format_) return nullptr;
        return std::make_shared<const FormatChange>(applied_, next->format_);
    }

private:
    std::wstring applied_;
    std::wstring format_;
};

std::size_t BlockOf(const std::vector<std::size_t>& starts, std::size_t position) {
    const auto after = std::upper_bound(starts.begin(), starts.end(), position);
    return static_cast<std::size_t>(after - starts.begin()) - 1;
}

// A `taking` for removeWhere: the rows at these ascending positions.
auto AtPositions(const std::vector<std::size_t>& positions) {
    return [&positions, next = std::size_t{0}](std::size_t position, const StoredRow&) mutable {
        while (next < positions.size() && positions[next] < position) ++next;
        return next < positions.size() && positions[next] == position;
    };
}

}  // namespace

SharedCellRule CellRule::then(const CellRule&) const { return nullptr; }

std::vector<std::size_t> MovedPositions(const std::vector<std::size_t>& from, std::size_t count, RowMove move,
                                        std::size_t before) {
    const std::size_t moved = from.size();
    std::vector<std::size_t> to(moved);
    switch (move) {
        case RowMove::Up:
            for (std::size_t k = 0; k < moved; ++k) {
                const std::size_t up = from[k] > 0 ? from[k] - 1 : 0;
                to[k] = k > 0 ? std::max(up, to[k - 1] + 1) : up;
            }
            break;
        case RowMove::Down:
            for (std::size_t k = moved; k-- > 0;) {
                const std::size_t down = std::min(from[k] + 1, count - 1);
                to[k] = k + 1 < moved ? std::min(down, to[k + 1] - 1) : down;
            }
            break;
        case RowMove::First:
        case RowMove::Last:
        case RowMove::Before: {
            std::size_t first = 0;
            if (move == RowMove::Last) first = count - moved;
            if (move == RowMove::Before) {
                const auto above = static_cast<std::size_t>(
                    std::lower_bound(from.begin(), from.end(), std::min(before, count)) - from.begin());
                first = std::min(before, count) - above;
            }
            for (std::size_t k = 0; k < moved; ++k) to[k] = first + k;
            break;
        }
    }
    return to;
}

SharedCellRule MakeCellRule(std::function<std::wstring(const std::wstring&)> change) {
    if (!change) return nullptr;
    return std::make_shared<const FunctionRule>(std::move(change));
}

const StoredRow* JobRowsSnapshot::at(std::size_t position) const {
    if (position >= count_) return nullptr;
    const std::size_t block = BlockOf(starts_, position);
    return &blocks_[block]->rows[position - starts_[block]];
}

JobRow JobRowsSnapshot::row(std::size_t position) const {
    const StoredRow* stored = at(position);
    if (!stored) return {};
    return {JobOf(*stored, layers_), stored->ticked, stored->saved, stored->id};
}

RenderJob JobRowsSnapshot::job(std::size_t position) const {
    const StoredRow* stored = at(position);
    return stored ? JobOf(*stored, layers_) : RenderJob{};
}

std::wstring JobRowsSnapshot::cell(std::size_t position, int column) const {
    const StoredRow* stored = IsColumn(column) ? at(position) : nullptr;
    return stored ? Read(*stored, column, layers_[Index(column)].get()) : std::wstring();
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
        for (const StoredRow& stored : block->rows) jobs.push_back(JobOf(stored, layers_));
    }
    return jobs;
}

std::vector<std::wstring> JobRowsSnapshot::column(int column) const {
    std::vector<std::wstring> cells;
    if (!IsColumn(column)) return cells;
    cells.reserve(count_);
    const ColumnLayers* layers = layers_[Index(column)].get();
    for (const auto& block : blocks_) {
        for (const StoredRow& stored : block->rows) cells.push_back(Read(stored, column, layers));
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
        const std::vector<StoredRow>& rows = blocks_[block]->rows;
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

Block& JobRows::own(std::size_t block) { return Own(blocks_[block]); }

StoredRow& JobRows::writable(std::size_t position) {
    const std::size_t block = BlockOf(starts_, position);
    return own(block).rows[position - starts_[block]];
}

void JobRows::place(JobRow row) {
    if (blocks_.empty() || blocks_.back()->rows.size() >= blockRows_) {
        auto block = std::make_shared<Block>();
        block->rows.reserve(blockRows_);
        blocks_.push_back(std::move(block));
        starts_.push_back(count_);
    }
    row.id = nextId_++;
    own(blocks_.size() - 1).rows.push_back(Stored(std::move(row), generation_));
    ++count_;
}

void JobRows::appended(std::size_t first) {
    if (count_ == first) return;
    lastWritten_.fill(generation_);
    tell({RowsChange::Kind::Inserted, {{first, count_ - first}}, 0});
}

std::size_t JobRows::append(JobRow row) {
    const std::size_t first = count_;
    place(std::move(row));
    appended(first);
    return first;
}

void JobRows::append(std::vector<RenderJob> jobs) {
    const std::size_t first = count_;
    for (RenderJob& job : jobs) {
        JobRow row;
        row.job = std::move(job);
        place(std::move(row));
    }
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

void JobRows::write(StoredRow& row, int column, std::wstring text) {
    WritableCell(row, column) = std::move(text);
    row.written[Index(column)] = generation_;
    lastWritten_[Index(column)] = generation_;
}

// Rows [0, end) for which `needs` holds go to `apply`; a block is copied first when a snapshot
// still reads it, and a block without such a row stays as it is, shared or not.
template <typename Needs, typename Apply>
void JobRows::changeRows(std::size_t end, Needs needs, Apply apply) {
    std::size_t first = 0;
    for (std::size_t block = 0; block < blocks_.size() && first < end; ++block) {
        const std::size_t size = std::min(blocks_[block]->rows.size(), end - first);
        const auto& rows = std::as_const(*blocks_[block]).rows;
        bool any = false;
        for (std::size_t i = 0; i < size && !any; ++i) any = needs(first + i, rows[i]);
        if (any) {
            Block& owned = own(block);
            for (std::size_t i = 0; i < size; ++i) {
                if (needs(first + i, std::as_const(owned.rows[i]))) apply(first + i, owned.rows[i]);
            }
        }
        first += blocks_[block]->rows.size();
    }
}

void JobRows::setCell(std::size_t position, int column, std::wstring text) {
    if (!IsColumn(column) || position >= count_ || cell(position, column) == text) return;
    write(writable(position), column, std::move(text));
    tell({RowsChange::Kind::Cells, {{position, 1}}, ColumnBit(column)});
}

void JobRows::setTicked(std::size_t position, bool ticked) {
    if (position >= count_ || at(position)->ticked == ticked) return;
    writable(position).ticked = ticked;
    tell({RowsChange::Kind::Ticks, {{position, 1}}, 0});
}

void JobRows::setTicks(const std::vector<bool>& ticked) {
    Changed changed;
    changeRows(
        std::min(ticked.size(), count_),
        [&](std::size_t position, const StoredRow& row) { return row.ticked != ticked[position]; },
        [&](std::size_t position, StoredRow& row) {
            row.ticked = ticked[position];
            changed.add(position);
        });
    if (changed.any()) tell({RowsChange::Kind::Ticks, changed.span(), 0});
}

void JobRows::fill(int column, std::wstring value) {
    auto layers = std::make_shared<ColumnLayers>();
    layers->layers.push_back({++generation_, std::move(value), nullptr});
    layers_[Index(column)] = std::move(layers);
}

void JobRows::fillColumn(int column, std::wstring value) {
    if (!IsColumn(column) || count_ == 0) return;
    fill(column, std::move(value));
    tell({RowsChange::Kind::Cells, {{0, count_}}, ColumnBit(column)});
}

void JobRows::changeColumn(int column, SharedCellRule rule) {
    if (!IsColumn(column) || !rule || count_ == 0) return;
    const auto& current = layers_[Index(column)];
    auto layers = std::make_shared<ColumnLayers>(current ? *current : ColumnLayers{});
    // With no cell of the column written since the last layer, every cell it reaches reads the
    // new change after it, so the two may be one.
    bool joined = false;
    if (!layers->layers.empty() && lastWritten_[Index(column)] < layers->layers.back().since) {
        Layer& last = layers->layers.back();
        if (last.value) {
            last.value = rule->apply(*last.value);
            joined = true;
        } else if (SharedCellRule both = last.rule->then(*rule)) {
            last.rule = std::move(both);
            joined = true;
        }
    }
    if (!joined) layers->layers.push_back({++generation_, std::nullopt, std::move(rule)});
    const bool tooMany = layers->layers.size() > MostLayers;
    layers_[Index(column)] = std::move(layers);
    if (tooMany) settle(column);
    tell({RowsChange::Kind::Cells, {{0, count_}}, ColumnBit(column)});
}

// The column's layers written into the rows they reach, and gone.
void JobRows::settle(int column) {
    const ColumnLayers* layers = layers_[Index(column)].get();
    changeRows(
        count_, [&](std::size_t, const StoredRow& row) { return Layered(row, column, layers); },
        [&](std::size_t, StoredRow& row) { WritableCell(row, column) = Read(row, column, layers); });
    layers_[Index(column)].reset();
}

void JobRows::setColumn(int column, std::vector<std::wstring> cells) {
    if (!IsColumn(column)) return;
    const ColumnLayers* layers = layers_[Index(column)].get();
    const std::size_t end = std::min(cells.size(), count_);
    Changed changed;
    changeRows(
        end,
        [&](std::size_t position, const StoredRow& row) {
            return Layered(row, column, layers) || CellOf(row, column) != cells[position];
        },
        [&](std::size_t position, StoredRow& row) {
            if (Read(row, column, layers) != cells[position]) changed.add(position);
            write(row, column, std::move(cells[position]));
        });
    if (end == count_) layers_[Index(column)].reset();  // no row reads through them any more
    if (changed.any()) tell(CellsChange(changed, column));
}

void JobRows::tickUnifiedFolder(std::wstring_view unified) {
    if (count_ == 0) return;
    const int column = JobColumnOutputFolder;
    const ColumnLayers* layers = layers_[Index(column)].get();
    changeRows(
        count_, [](std::size_t, const StoredRow&) { return true; },
        [&](std::size_t, StoredRow& row) {
            SavedValues saved = row.saved ? *row.saved : SavedValues{};
            saved.folder = Read(row, column, layers);
            row.saved = std::make_shared<const SavedValues>(std::move(saved));
        });
    fill(column, std::wstring(unified));
    tell({RowsChange::Kind::Cells, {{0, count_}}, ColumnBit(column)});
}

void JobRows::tickUnifiedFormat(std::wstring_view format) {
    if (count_ == 0) return;
    const int column = JobColumnOutputName;
    const ColumnLayers* layers = layers_[Index(column)].get();
    Changed changed;
    changeRows(
        count_, [](std::size_t, const StoredRow&) { return true; },
        [&](std::size_t position, StoredRow& row) {
            const std::wstring name = Read(row, column, layers);
            NameParts parts = SplitOutputName(name);
            SavedValues saved = row.saved ? *row.saved : SavedValues{};
            saved.extension = std::move(parts.extension);
            row.saved = std::make_shared<const SavedValues>(std::move(saved));
            parts.stem.append(format);
            std::wstring given = std::move(parts.stem);
            if (given != name) changed.add(position);
            write(row, column, std::move(given));
        });
    layers_[Index(column)].reset();
    if (changed.any()) tell(CellsChange(changed, column));
}

void JobRows::changeUnifiedFormat(std::wstring_view applied, std::wstring_view format) {
    changeColumn(JobColumnOutputName, std::make_shared<const FormatChange>(applied, format));
}

// Each row with a `kept` saved value gets own(its cell, that value) written into the column.
template <typename Own>
void JobRows::giveBack(int column, std::optional<std::wstring> SavedValues::*kept, Own own) {
    const ColumnLayers* layers = layers_[Index(column)].get();
    std::size_t written = 0;
    Changed changed;
    changeRows(
        count_, [&](std::size_t, const StoredRow& row) { return row.saved && (*row.saved).*kept; },
        [&](std::size_t position, StoredRow& row) {
            const std::wstring before = Read(row, column, layers);
            std::wstring after = own(before, *((*row.saved).*kept));
            if (after != before) changed.add(position);
            write(row, column, std::move(after));
            ++written;
        });
    if (written == count_) layers_[Index(column)].reset();
    if (changed.any()) tell(CellsChange(changed, column));
}

void JobRows::untickUnifiedFolder() {
    giveBack(JobColumnOutputFolder, &SavedValues::folder,
             [](const std::wstring&, const std::wstring& folder) { return folder; });
}

void JobRows::untickUnifiedFormat(std::wstring_view applied) {
    giveBack(JobColumnOutputName, &SavedValues::extension,
             [applied](const std::wstring& name, const std::wstring& extension) {
                 return NameWithFormat(name, applied, extension);
             });
}

// The rows for which `taking(position, row)` holds, asked in ascending order of position.
template <typename Taking, typename Out>
std::vector<RowSpan> JobRows::removeWhere(Taking taking, Out out) {
    std::vector<RowSpan> removed;
    std::vector<std::shared_ptr<Block>> kept;
    kept.reserve(blocks_.size());
    std::size_t position = 0;
    std::size_t gone = 0;
    for (auto& block : blocks_) {
        auto& rows = block->rows;
        std::vector<bool> takes(rows.size());
        std::size_t taking_count = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            takes[i] = taking(position + i, std::as_const(rows[i]));
            if (takes[i]) ++taking_count;
        }
        if (taking_count == 0) {
            position += rows.size();
            kept.push_back(std::move(block));
            continue;
        }
        const bool movable = Unshared(block);
        auto rest = std::make_shared<Block>();
        rest->rows.reserve(rows.size() - taking_count);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (takes[i]) {
                out(position, rows[i], movable);
                AddPosition(removed, position);
            } else {
                Keep(rest->rows, rows[i], movable);
            }
            ++position;
        }
        gone += taking_count;
        if (!rest->rows.empty()) kept.push_back(std::move(rest));
    }
    blocks_ = std::move(kept);
    count_ -= gone;
    if (gone > 0) tidy();
    return removed;
}

template <typename Taking>
std::vector<JobRows::TakenRow> JobRows::takeWhere(Taking taking) {
    std::vector<TakenRow> taken;
    std::vector<RowSpan> removed = removeWhere(taking, [&](std::size_t position, StoredRow& row, bool movable) {
        taken.push_back({position, Taken(row, movable, layers_)});
    });
    if (taken.empty()) return taken;
    if (count_ == 0) layers_ = {};
    tell({RowsChange::Kind::Removed, std::move(removed), 0});
    return taken;
}

std::vector<JobRows::TakenRow> JobRows::takeTicked() {
    return takeWhere([](std::size_t, const StoredRow& row) { return row.ticked; });
}

std::vector<JobRows::TakenRow> JobRows::take(const std::vector<std::size_t>& positions) {
    return takeWhere(AtPositions(positions));
}

std::vector<JobRows::TakenRow> JobRows::takeAll() {
    std::vector<TakenRow> taken;
    taken.reserve(count_);
    for (auto& block : blocks_) {
        const bool movable = Unshared(block);
        for (StoredRow& row : block->rows) taken.push_back({taken.size(), Taken(row, movable, layers_)});
        block.reset();  // what is left of its rows goes now, not beside all that was taken
    }
    blocks_.clear();
    starts_.clear();
    layers_ = {};
    count_ = 0;
    if (!taken.empty()) tell({RowsChange::Kind::Removed, {{0, taken.size()}}, 0});
    return taken;
}

// One pass over the blocks: a block no row lands in stays as it is, so putting a few rows back
// costs the same however many rows stand; the rows of a block some land in, and those, go
// straight into new blocks.
void JobRows::putBack(std::vector<TakenRow> rows) {
    // As it was taken: no layer made before now reaches it.
    placeAt(
        rows.size(), [&](std::size_t k) { return rows[k].position; },
        [&](std::size_t k) { return Stored(std::move(rows[k].row), generation_); });
}

template <typename Position, typename Make>
void JobRows::placeAt(std::size_t rowCount, Position positionOf, Make make) {
    if (rowCount == 0) return;
    std::vector<std::shared_ptr<Block>> out;
    out.reserve(blocks_.size() + rowCount / blockRows_ + 2);
    Block* filling = nullptr;  // the last block of `out` while it is one made here
    const auto room = [&]() -> std::vector<StoredRow>& {
        if (!filling || filling->rows.size() >= blockRows_) {
            out.push_back(std::make_shared<Block>());
            filling = out.back().get();
            filling->rows.reserve(blockRows_);
        }
        return filling->rows;
    };
    std::vector<RowSpan> inserted;
    std::size_t placed = 0;  // rows of the table as it becomes, so far
    std::size_t next = 0;    // the next row to place
    const auto putNext = [&] {
        AddPosition(inserted, placed++);
        room().push_back(make(next++));
    };
    for (auto& block : blocks_) {
        const std::size_t size = block->rows.size();
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
        const bool movable = Unshared(block);
        for (StoredRow& row : block->rows) {
            while (next < landing && positionOf(next) <= placed) putNext();
            Keep(room(), row, movable);
            ++placed;
        }
        while (next < landing) putNext();
    }
    while (next < rowCount) putNext();  // past the end: clamped to it

    blocks_ = std::move(out);
    count_ = placed;
    lastWritten_.fill(generation_);
    tidy();
    tell({RowsChange::Kind::Inserted, std::move(inserted), 0});
}

void JobRows::insert(std::vector<TakenRow> rows) {
    for (TakenRow& row : rows) row.row.id = nextId_++;
    putBack(std::move(rows));
}

void JobRows::move(const std::vector<std::size_t>& from, const std::vector<std::size_t>& to) {
    if (from.size() != to.size() || from == to || from.empty() || from.back() >= count_) return;
    // The rows go as they are stored: they read the same wherever they stand, and their texts stay
    // shared with the snapshots of 撤销 instead of being copied for every step.
    std::vector<StoredRow> moving;
    std::vector<std::size_t> taken;  // where each stood
    moving.reserve(from.size());
    std::vector<RowSpan> removed =
        removeWhere(AtPositions(from), [&](std::size_t position, StoredRow& row, bool movable) {
            taken.push_back(position);
            Keep(moving, row, movable);
        });
    if (moving.empty()) return;
    tell({RowsChange::Kind::Removed, std::move(removed), 0});
    // Positions not ascending or repeated: the rows go back where they stood.
    const std::vector<std::size_t>& places = moving.size() == to.size() ? to : taken;
    placeAt(
        moving.size(), [&](std::size_t k) { return places[k]; }, [&](std::size_t k) { return std::move(moving[k]); });
}

void JobRows::restore(const JobRowsSnapshot& to) {
    // Rows of a block both hold are the same rows with the same ticks (a tick copies a block a
    // snapshot reads); the others are looked up by id for the tick they have now.
    std::vector<const Block*> shared;
    for (const auto& block : to.blocks_) shared.push_back(block.get());
    std::sort(shared.begin(), shared.end());
    const auto holds = [&](const Block* block) { return std::binary_search(shared.begin(), shared.end(), block); };
    std::unordered_map<RowId, bool> ticks;
    std::vector<const Block*> before;
    for (const auto& block : blocks_) {
        before.push_back(block.get());
        if (holds(block.get())) continue;
        for (const StoredRow& row : block->rows) ticks.emplace(row.id, row.ticked);
    }
    std::sort(before.begin(), before.end());
    blocks_ = to.blocks_;
    layers_ = to.layers_;
    count_ = to.count_;
    restart();
    std::vector<RowSpan> anew;
    for (std::size_t block = 0; block < blocks_.size(); ++block) {
        if (std::binary_search(before.begin(), before.end(), blocks_[block].get())) continue;
        const auto& rows = std::as_const(*blocks_[block]).rows;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const auto now = ticks.find(rows[i].id);
            if (now != ticks.end() && now->second != rows[i].ticked) own(block).rows[i].ticked = now->second;
            AddPosition(anew, starts_[block] + i);
        }
    }
    lastWritten_.fill(generation_);
    tell({RowsChange::Kind::Replaced, std::move(anew), 0});
}

// Neighbouring blocks that together hold at most half a block become one: taking rows out leaves
// no trail of tiny blocks.
void JobRows::tidy() {
    const std::size_t small = (blockRows_ + 1) / 2;
    std::vector<std::shared_ptr<Block>> tidied;
    tidied.reserve(blocks_.size());
    for (auto& block : blocks_) {
        if (block->rows.empty()) continue;
        if (!tidied.empty() && tidied.back()->rows.size() + block->rows.size() <= small) {
            Block& into = Own(tidied.back());
            const bool movable = Unshared(block);
            for (StoredRow& row : block->rows) Keep(into.rows, row, movable);
        } else {
            tidied.push_back(std::move(block));
        }
    }
    blocks_ = std::move(tidied);
    restart();
}

void JobRows::restart() {
    starts_.resize(blocks_.size());
    std::size_t start = 0;
    for (std::size_t block = 0; block < blocks_.size(); ++block) {
        starts_[block] = start;
        start += blocks_[block]->rows.size();
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
