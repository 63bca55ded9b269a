#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/LocalTime.h"

namespace ravolen {

// Seconds from one moment to a later one, by the calendar (a clock set back counts as none).
long long SecondsBetween(const LocalTime& from, const LocalTime& to);

// A span of time as h:mm:ss; the hours grow past 24 ("26:03:07").
std::wstring DurationText(long long seconds);

// "2026-12-07 23:01:05"
std::wstring TimeText(const LocalTime& time);

// Each night's record lies in bat\logs\ as <yyyyMMdd-HHmmss>.csv, its renderer output beside it in
// the .log of the same name; the name is the moment the render started.
inline constexpr std::wstring_view RecordFolderName = L"logs";
inline constexpr std::wstring_view RecordExtension = L".csv";
inline constexpr std::wstring_view LogExtension = L".log";
// The night's plan (NightPlan) lies beside them and goes with them.
inline constexpr std::wstring_view PlanExtension = L".plan";
inline constexpr std::size_t NightsKept = 30;

// "20261207-230105"
std::wstring RecordName(const LocalTime& started);
// The start of the night a name of the form above (an extension aside) stands for.
std::optional<LocalTime> RecordNameTime(std::wstring_view name);

// The name for a night that starts at `started`, given the names in bat\logs\: a render started
// within the same second as the last one takes the next free second rather than its files.
std::wstring FreeRecordName(const LocalTime& started, std::span<const std::wstring> names);

// The name of the newest night among the names in bat\logs\, or nothing when there is none.
std::optional<std::wstring> NewestRecord(std::span<const std::wstring> names);

// One row that ended, as the record keeps it.
struct RecordLine {
    int row = 0;  // from 1, as the job table numbers its rows
    std::wstring scene;
    LocalTime started;
    LocalTime ended;
    // As cmd's ERRORLEVEL shows it; none when the row was cancelled under way.
    std::optional<std::int32_t> exitCode;
    // The row's output (<出图路径>\<出图文件名>) when it was on disk as the row ended, else empty.
    std::wstring output;
    // 说明: why the program ended the row ("无响应，已结束（20分钟没有进展）"), else empty.
    std::wstring note = {};

    bool operator==(const RecordLine&) const = default;
};

// The 说明 of a row that Windows' shutdown or restart cut short under way (its exit code empty).
inline constexpr std::wstring_view ShutdownCutNote = L"关机中断";

// The record's bytes: the header line once (with the byte-order mark), then each row's line as
// the row ends, appended and written through so that a crash loses at most the row under way.
std::string RecordHeaderBytes();
std::string RecordLineBytes(const RecordLine& line);

// The rows of a record, in the order they ended. A last line cut short (the program or the
// computer stopped while writing it) is left out, as is a line that is not one of the record's
// (edited by hand). Records written before the 说明 column was added read as well. Nothing when
// the file is not a night's record at all.
std::optional<std::vector<RecordLine>> ReadRecord(std::string_view bytes);

// Of the names in bat\logs\, those to remove so that the newest `keep` nights remain, oldest
// first; a night's .csv, .log and .plan go together. Other files are never named.
std::vector<std::wstring> OldRecords(std::span<const std::wstring> names,
                                     std::size_t keep = NightsKept);

}  // namespace ravolen
