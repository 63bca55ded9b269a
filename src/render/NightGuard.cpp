#include "render/NightGuard.h"

#include <algorithm>
#include <string_view>

namespace ravolen {
namespace {

constexpr unsigned long long TicksPerSecond = 10'000'000;  // 100 ns units

std::wstring MinutesText(int minutes) {
    const int hours = minutes / 60;
    const int rest = minutes % 60;
    if (hours == 0) return std::to_wstring(rest) + L"分钟";
    if (rest == 0) return std::to_wstring(hours) + L"小时";
    return std::to_wstring(hours) + L"小时" + std::to_wstring(rest) + L"分钟";
}

}  // namespace

bool ValidNightOptions(const NightOptions& options) {
    return options.hungMinutes >= 0 && options.hungMinutes <= MaxHungMinutes &&
           options.longestMinutes >= 0 && options.longestMinutes <= MaxLongestMinutes &&
           options.retries >= 0 && options.retries <= MaxRetries;
}

std::wstring HungNote(int minutes) {
    return L"无响应，已结束（" + std::to_wstring(minutes) + L"分钟没有进展）";
}

std::wstring TooLongNote(int minutes) { return L"超时，已结束（超过" + MinutesText(minutes) + L"）"; }

bool OutputGrew(const std::vector<FolderEntry>& before, const std::vector<FolderEntry>& now) {
    std::map<std::wstring_view, const FolderEntry*> known;
    for (const FolderEntry& entry : before) known.emplace(entry.name, &entry);
    for (const FolderEntry& entry : now) {
        const auto found = known.find(entry.name);
        if (found == known.end() || entry.size > found->second->size ||
            entry.modified > found->second->modified) {
            return true;
        }
    }
    return false;
}

RowGuard::RowGuard(const NightOptions& options, long long startedSecond)
    : options_(options), started_(startedSecond), work_{{startedSecond, 0, 0, 0}} {}

void RowGuard::read(long long second, const std::optional<std::vector<ProcessTime>>& times,
                    const std::optional<std::vector<FolderEntry>>& output) {
    if (output) {
        // The first listing is what the folder held already.
        if (output_ && OutputGrew(*output_, *output)) ++total_.grew;
        output_ = output;
    }
    failed_ = !times;
    if (!times) return;
    std::map<unsigned long, Counts> now;
    for (const ProcessTime& process : *times) {
        const auto before = last_.find(process.processId);
        // Counts that went back are an id reused by a new process: all of them are new.
        const bool same = before != last_.end() && before->second.time <= process.time &&
                          before->second.bytes <= process.bytes;
        total_.time += same ? process.time - before->second.time : process.time;
        total_.bytes += same ? process.bytes - before->second.bytes : process.bytes;
        now[process.processId] = {process.time, process.bytes};
        if (process.time > 0) anyTime_ = true;
    }
    last_ = std::move(now);
    if (!work_.empty() && second < work_.back().second) return;  // a clock set back: no span
    total_.second = second;
    work_.push_back(total_);
    // The reading that opens the span is kept; those before it are needed no more.
    const long long span = static_cast<long long>(options_.hungMinutes) * 60;
    while (work_.size() > 2 && work_[1].second <= second - span) work_.erase(work_.begin());
}

void RowGuard::pause(long long from, long long to) {
    // Only what lies after the row's start was counted as under way.
    from = std::max(from, started_);
    if (to > from) away_ += to - from;
    // What was gained meanwhile opens the next span with the next reading, and counts in none.
    work_.clear();
}

GuardVerdict RowGuard::verdict(long long second) const {
    if (options_.longestMinutes > 0 &&
        underWay(second) > static_cast<long long>(options_.longestMinutes) * 60) {
        return GuardVerdict::TooLong;
    }
    if (options_.hungMinutes <= 0 || failed_ || !anyTime_ || work_.size() < 2) {
        return GuardVerdict::Working;
    }
    const long long span = static_cast<long long>(options_.hungMinutes) * 60;
    const Work& last = work_.back();
    const Work& first = work_.front();
    if (last.second - first.second < span) return GuardVerdict::Working;
    // Less than 1 % of one processor over the whole span, measured from its first reading; a
    // scene still coming from a share, or frames still being written, are progress too.
    const auto elapsed = static_cast<unsigned long long>(last.second - first.second);
    const bool idle = (last.time - first.time) * 100 < elapsed * TicksPerSecond;
    const bool still = last.bytes - first.bytes < GuardIdleBytes && last.grew == first.grew;
    return idle && still ? GuardVerdict::Hung : GuardVerdict::Working;
}

bool RowGuard::unreadable(long long second) const {
    if (options_.hungMinutes <= 0) return false;
    if (failed_) return true;
    return !anyTime_ && underWay(second) >= static_cast<long long>(options_.hungMinutes) * 60;
}

}  // namespace ravolen
