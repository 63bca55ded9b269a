#pragma once

#include <cstddef>
#include <deque>
#include <optional>

#include "document/Document.h"

namespace ravolen {

// 撤销 and 重做: steps of the document, kept by its owner. A step holds the document as it was
// before a change of rows: a snapshot of the rows, which shares their blocks and holds the unified
// boxes they were read under. A tick is no step, and neither is typing the install folder, the farm boxes or
// the shutdown tick. A change of rows made outside a step cannot be taken back in order: the steps
// before it go.
class History final : private JobRowsObserver {
public:
    explicit History(Document& document);
    ~History();
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    // What typing in a box does: keystrokes that follow each other in one box are one step, as an
    // editor keeps a typed word.
    enum class Join { None, UnifiedFolder, UnifiedFormat };
    // A change as one step (nothing is kept when it changed no row); steps may nest, the outer one
    // counts.
    template <typename Change>
    void step(Change&& change, Join join = Join::None) {
        begin(join);
        try {
            change();
        } catch (...) {
            end();
            throw;
        }
        end();
    }
    void begin(Join join = Join::None);
    void end();

    // The document as it stood before the last step (after the last undone one): false when there
    // is none. A row that stands in both keeps the tick it has now.
    bool undo();
    bool redo();
    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    static constexpr std::size_t Depth = 100;

private:
    bool restore(std::deque<JobRowsSnapshot>& from, std::deque<JobRowsSnapshot>& to);
    void rowsChanged(const RowsChange& change) override;

    Document& document_;
    std::deque<JobRowsSnapshot> undo_;  // newest last
    std::deque<JobRowsSnapshot> redo_;
    struct OpenStep {
        JobRowsSnapshot before;
        bool changed = false;
        Join join = Join::None;
    };
    std::optional<OpenStep> open_;  // a change under way
    int depth_ = 0;
    Join lastJoin_ = Join::None;  // the last step's, while no other came
    bool restoring_ = false;
};

}  // namespace ravolen
