#include "document/History.h"

#include <utility>

namespace ravolen {

History::History(Document& document) : document_(document) { document_.rows.watch(*this); }

History::~History() { document_.rows.unwatch(*this); }

void History::begin(Join join) {
    if (depth_++ > 0) return;
    open_ = OpenStep{now(), false, join};
}

void History::end() {
    if (--depth_ > 0 || !open_) return;
    OpenStep step = std::move(*open_);
    open_.reset();
    if (!step.changed) return;
    redo_.clear();
    // Typing on in the same box adds to the step its first keystroke made.
    if (step.join == Join::None || step.join != lastJoin_ || undo_.empty()) {
        undo_.push_back(std::move(step.before));
        if (undo_.size() > Depth) undo_.pop_front();
    }
    lastJoin_ = step.join;
}

bool History::undo() { return restore(undo_, redo_); }

bool History::redo() { return restore(redo_, undo_); }

History::Step History::now() const { return {document_.rows.snapshot(), UnifiedChoiceOf(document_.settings)}; }

bool History::restore(std::deque<Step>& from, std::deque<Step>& to) {
    if (from.empty()) return false;
    const Step back = std::move(from.back());
    from.pop_back();
    to.push_back(now());
    restoring_ = true;
    Apply(document_.settings, back.unified);
    document_.rows.restore(back.rows);
    restoring_ = false;
    lastJoin_ = Join::None;
    return true;
}

void History::rowsChanged(const RowsChange& change) {
    if (change.kind == RowsChange::Kind::Ticks || restoring_) return;
    if (open_) {
        open_->changed = true;
    } else {
        undo_.clear();
        redo_.clear();
    }
}

}  // namespace ravolen
