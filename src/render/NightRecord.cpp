#include "render/NightRecord.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cwchar>
#include <map>
#include <set>

#include "jobs/JobListFile.h"
#include "jobs/JobTable.h"

namespace ravolen {
namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t RecordColumns = 8;
// The nights recorded before 说明 have the first seven.
constexpr std::size_t EarlierRecordColumns = 7;

const std::array<std::wstring, RecordColumns>& Header() {
    static const std::array<std::wstring, RecordColumns> captions{
        L"行", L"Max文件", L"开始", L"结束", L"用时", L"退出码", L"输出", L"说明"};
    return captions;
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
long long DaysFromCivil(long long year, long long month, long long day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// The date of a day counted from 1970-01-01, the inverse of DaysFromCivil.
LocalTime CivilFromDays(long long days) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;
    const long long month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    LocalTime time;
    time.year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
    time.month = static_cast<int>(month);
    time.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    return time;
}

long long SecondsOf(const LocalTime& time) {
    return DaysFromCivil(time.year, time.month, time.day) * 86400 + time.hour * 3600LL +
           time.minute * 60LL + time.second;
}

bool IsDigits(std::wstring_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

int Number(std::wstring_view digits) {
    int value = 0;
    for (wchar_t c : digits) value = value * 10 + (c - L'0');
    return value;
}

bool IsValid(const LocalTime& time) {
    return time.year >= 1601 && time.year <= 9999 && time.month >= 1 && time.month <= 12 &&
           time.day >= 1 && time.day <= 31 && time.hour <= 23 && time.minute <= 59 &&
           time.second <= 59;
}

// Reads text laid out as `pattern`, where each 'd' stands for one digit and every other
// character for itself.
std::optional<std::vector<int>> Scan(std::wstring_view text, std::wstring_view pattern) {
    if (text.size() != pattern.size()) return std::nullopt;
    std::vector<int> numbers;
    for (std::size_t i = 0; i < pattern.size();) {
        if (pattern[i] != L'd') {
            if (text[i] != pattern[i]) return std::nullopt;
            ++i;
            continue;
        }
        const std::size_t end = std::min(pattern.find_first_not_of(L'd', i), pattern.size());
        const std::wstring_view digits = text.substr(i, end - i);
        if (!IsDigits(digits)) return std::nullopt;
        numbers.push_back(Number(digits));
        i = end;
    }
    return numbers;
}

std::optional<LocalTime> TimeFrom(std::wstring_view text, std::wstring_view pattern) {
    const auto numbers = Scan(text, pattern);
    if (!numbers) return std::nullopt;
    const auto& n = *numbers;
    const LocalTime time{n[0], n[1], n[2], n[3], n[4], n[5]};
    if (!IsValid(time)) return std::nullopt;
    return time;
}

std::optional<std::int32_t> ExitCodeFrom(std::wstring_view text) {
    const bool negative = text.starts_with(L'-');
    if (negative) text.remove_prefix(1);
    if (!IsDigits(text) || text.size() > 10) return std::nullopt;
    long long value = 0;
    for (wchar_t c : text) value = value * 10 + (c - L'0');
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<RecordLine> LineFrom(const std::vector<std::wstring>& fields) {
    // A night joined by this program may have begun its record without 说明.
    if ((fields.size() != RecordColumns && fields.size() != EarlierRecordColumns) ||
        !IsDigits(fields[0]) || fields[0].size() > 9) {
        return std::nullopt;
    }
    RecordLine line;
    line.row = Number(fields[0]);
    line.scene = fields[1];
    const auto started = TimeFrom(fields[2], L"dddd-dd-dd dd:dd:dd");
    const auto ended = TimeFrom(fields[3], L"dddd-dd-dd dd:dd:dd");
    if (line.row < 1 || !started || !ended) return std::nullopt;
    line.started = *started;
    line.ended = *ended;
    if (!fields[5].empty()) {
        line.exitCode = ExitCodeFrom(fields[5]);
        if (!line.exitCode) return std::nullopt;
    }
    line.output = fields[6];
    if (fields.size() == RecordColumns) line.note = fields[7];
    return line;
}

bool IsRecordFile(std::wstring_view name, std::wstring_view& stem) {
    const std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring_view::npos) return false;
    const std::wstring extension = FoldCase(name.substr(dot));
    if (extension != RecordExtension && extension != LogExtension && extension != PlanExtension) {
        return false;
    }
    stem = name.substr(0, dot);
    return RecordNameTime(stem).has_value();
}

}  // namespace

long long SecondsBetween(const LocalTime& from, const LocalTime& to) {
    return std::max(0LL, SecondsOf(to) - SecondsOf(from));
}

std::wstring DurationText(long long seconds) {
    seconds = std::max(0LL, seconds);
    wchar_t text[40];
    std::swprintf(text, 40, L"%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

std::wstring TimeText(const LocalTime& time) {
    wchar_t text[40];
    std::swprintf(text, 40, L"%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day,
                  time.hour, time.minute, time.second);
    return text;
}

std::wstring RecordName(const LocalTime& started) {
    wchar_t text[40];
    std::swprintf(text, 40, L"%04d%02d%02d-%02d%02d%02d", started.year, started.month, started.day,
                  started.hour, started.minute, started.second);
    return text;
}

std::optional<LocalTime> RecordNameTime(std::wstring_view name) {
    const auto numbers = Scan(name, L"dddddddd-dddddd");
    if (!numbers) return std::nullopt;
    const int date = (*numbers)[0];
    const int clock = (*numbers)[1];
    const LocalTime time{date / 10000,  date / 100 % 100,  date % 100,
                         clock / 10000, clock / 100 % 100, clock % 100};
    if (!IsValid(time)) return std::nullopt;
    return time;
}

std::wstring FreeRecordName(const LocalTime& started, std::span<const std::wstring> names) {
    std::set<std::wstring> taken;
    for (const std::wstring& name : names) {
        std::wstring_view stem;
        if (IsRecordFile(name, stem)) taken.insert(std::wstring(stem));
    }
    for (long long second = SecondsOf(started);; ++second) {
        LocalTime time = CivilFromDays(second / 86400);
        time.hour = static_cast<int>(second % 86400 / 3600);
        time.minute = static_cast<int>(second % 3600 / 60);
        time.second = static_cast<int>(second % 60);
        std::wstring name = RecordName(time);
        if (!taken.contains(name)) return name;
    }
}

std::optional<std::wstring> NewestRecord(std::span<const std::wstring> names) {
    std::optional<std::wstring> newest;
    for (const std::wstring& name : names) {
        std::wstring_view stem;
        if (IsRecordFile(name, stem) && (!newest || stem > *newest)) newest = std::wstring(stem);
    }
    return newest;
}

std::string RecordHeaderBytes() {
    std::string bytes(ByteOrderMark);
    AppendCsvRecord(bytes, Header());
    return bytes;
}

std::string RecordLineBytes(const RecordLine& line) {
    const std::array<std::wstring, RecordColumns> fields{
        std::to_wstring(line.row),
        line.scene,
        TimeText(line.started),
        TimeText(line.ended),
        DurationText(SecondsBetween(line.started, line.ended)),
        line.exitCode ? std::to_wstring(*line.exitCode) : std::wstring(),
        line.output,
        line.note};
    std::string bytes;
    AppendCsvRecord(bytes, fields);
    return bytes;
}

std::optional<std::vector<RecordLine>> ReadRecord(std::string_view bytes) {
    // Every line the program finished ends with a line feed; what follows the last one was cut.
    // A cut within a quoted field ends at a line feed of the field: then the one before counts.
    std::string_view whole = bytes;
    std::optional<std::vector<std::vector<std::wstring>>> records;
    for (std::size_t searched = whole.size(); !records; searched = whole.size() - 1) {
        const std::size_t lastEnd = whole.substr(0, searched).rfind('\n');
        whole = whole.substr(0, lastEnd == std::string_view::npos ? 0 : lastEnd + 1);
        if (whole.empty()) break;
        records = ReadCsvRecords(whole);
    }
    if (whole.empty()) {
        // Nothing written yet, or the header itself was cut short.
        if (std::string_view(RecordHeaderBytes()).starts_with(bytes)) return std::vector<RecordLine>();
        return std::nullopt;
    }
    if (records->empty()) return std::nullopt;
    const std::vector<std::wstring>& header = records->front();
    if (!std::equal(header.begin(), header.end(), Header().begin(), Header().end()) &&
        !std::equal(header.begin(), header.end(), Header().begin(),
                    Header().begin() + EarlierRecordColumns)) {
        return std::nullopt;
    }
    std::vector<RecordLine> lines;
    for (std::size_t i = 1; i < records->size(); ++i) {
        if (auto line = LineFrom((*records)[i])) lines.push_back(std::move(*line));
    }
    return lines;
}

std::vector<std::wstring> OldRecords(std::span<const std::wstring> names, std::size_t keep) {
    // The names sort as the nights began; each night's files under its own name.
    std::map<std::wstring, std::vector<std::wstring>> nights;
    for (const std::wstring& name : names) {
        std::wstring_view stem;
        if (IsRecordFile(name, stem)) nights[std::wstring(stem)].push_back(name);
    }
    std::vector<std::wstring> remove;
    std::size_t surplus = nights.size() > keep ? nights.size() - keep : 0;
    for (auto night = nights.begin(); surplus > 0; ++night, --surplus) {
        std::sort(night->second.begin(), night->second.end());
        remove.insert(remove.end(), night->second.begin(), night->second.end());
    }
    return remove;
}

}  // namespace ravolen
