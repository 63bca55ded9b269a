#include "document/History.h"

#include <utility>

namespace ravolen {

History::History(Document& document) : document_(document) { document_.rows.watch(*this); }

History::~History() { document_.rows.unwatch(*this); }

void History::begin(Join join) {
    if (depth_++ > 0) return;
    open_ = OpenStep{document_.rows.snapshot(), false, join};
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

bool History::restore(std::deque<JobRowsSnapshot>& from, std::deque<JobRowsSnapshot>& to) {
    if (from.empty()) return false;
    const JobRowsSnapshot back = std::move(from.back());
    from.pop_back();
    to.push_back(document_.rows.snapshot());
    restoring_ = true;
    document_.rows.restore(back);
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
