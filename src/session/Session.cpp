#include "session/Session.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>
#include <type_traits>
#include <variant>

#include "jobs/JobListFile.h"
#include "jobs/UnifiedSettings.h"

namespace ravolen {
namespace {

// Every key of settings.ini, in the order they are written: one line here per setting. Lists are
// sections of their own.
// A key of a later feature: written only when it differs from its default, so the settings of an
// artist who uses none of these features read as they always did.
template <typename T>
struct Sparse {
    T& value;
    std::remove_const_t<T> fallback{};
};
template <typename T>
Sparse(T&) -> Sparse<T>;
template <typename T, typename U>
Sparse(T&, U) -> Sparse<T>;

template <typename Settings, typename Visit>
void EachSetting(Settings& s, Visit&& visit) {
    visit(L"Main", L"InstallFolder", s.installFolder);
    visit(L"Main", L"OutputFolder", s.outputFolder);
    visit(L"Main", L"OutputFormat", s.outputFormat);
    visit(L"Main", L"UnifiedFolder", s.unifiedFolder);
    visit(L"Main", L"UnifiedFormat", s.unifiedFormat);
    visit(L"Main", L"AppliedFormat", s.appliedFormat);
    visit(L"Deadline", L"Command", s.deadlineCommand);
    visit(L"Deadline", L"Pool", s.deadline.pool);
    visit(L"Deadline", L"Group", s.deadline.group);
    visit(L"Deadline", L"Priority", s.deadline.priority);
    visit(L"Deadline", L"Suspended", s.deadline.suspended);
    visit(L"Deadline", L"Timeout", s.deadline.timeoutSeconds);
    visit(L"Backburner", L"Manager", s.backburner.manager);
    visit(L"Backburner", L"Port", s.backburner.port);
    visit(L"Backburner", L"Priority", s.backburner.priority);
    visit(L"Backburner", L"Suspended", s.backburner.suspended);
    visit(L"Night", L"HungMinutes", Sparse{s.night.hungMinutes, NightOptions{}.hungMinutes});
    visit(L"Night", L"LongestMinutes", Sparse{s.night.longestMinutes, NightOptions{}.longestMinutes});
    visit(L"Night", L"Retries", Sparse{s.night.retries, NightOptions{}.retries});
    visit(L"Night", L"ContinueUnasked", Sparse{s.night.continueUnasked});
    visit(L"Window", L"Placed", s.windowPlaced);
    visit(L"Window", L"Left", s.windowLeft);
    visit(L"Window", L"Top", s.windowTop);
    visit(L"Table", L"OptionalColumns", Sparse{s.optionalColumns});
    visit(L"Sizes", L"ResultsWidth", Sparse{s.resultsWidth});
    visit(L"Sizes", L"ResultsHeight", Sparse{s.resultsHeight});
    visit(L"Sizes", L"LogWidth", Sparse{s.logWidth});
    visit(L"Sizes", L"LogHeight", Sparse{s.logHeight});
    visit(L"SavedOutDirs", L"", s.savedOutDirs);
    visit(L"SavedExts", L"", s.savedExts);
}

constexpr wchar_t Escape = L'^';

std::wstring Escaped(std::wstring_view value) {
    std::wstring out;
    out.reserve(value.size());
    for (const wchar_t c : value) {
        if (c >= 0x20 && c != Escape) {
            out += c;
            continue;
        }
        wchar_t code[8];
        std::swprintf(code, 8, L"^%04X", static_cast<unsigned>(c));
        out += code;
    }
    return out;
}

std::optional<std::wstring> Unescaped(std::wstring_view value) {
    std::wstring out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != Escape) {
            out += value[i];
            continue;
        }
        if (i + 4 >= value.size()) return std::nullopt;
        unsigned code = 0;
        for (std::size_t k = 1; k <= 4; ++k) {
            const wchar_t h = value[i + k];
            const int digit = h >= L'0' && h <= L'9'   ? h - L'0'
                              : h >= L'A' && h <= L'F' ? h - L'A' + 10
                              : h >= L'a' && h <= L'f' ? h - L'a' + 10
                                                       : -1;
            if (digit < 0) return std::nullopt;
            code = code * 16 + static_cast<unsigned>(digit);
        }
        out += static_cast<wchar_t>(code);
        i += 4;
    }
    return out;
}

class Writer {
public:
    void operator()(std::wstring_view section, std::wstring_view key, const std::wstring& value) {
        line(section, key, Escaped(value));
    }
    void operator()(std::wstring_view section, std::wstring_view key, bool value) {
        line(section, key, value ? L"1" : L"0");
    }
    void operator()(std::wstring_view section, std::wstring_view key, int value) {
        line(section, key, std::to_wstring(value));
    }
    template <typename T>
    void operator()(std::wstring_view section, std::wstring_view key, Sparse<T> sparse) {
        if (sparse.value != sparse.fallback) (*this)(section, key, sparse.value);
    }
    void operator()(std::wstring_view section, std::wstring_view, const std::vector<std::wstring>& list) {
        line(section, L"Count", std::to_wstring(list.size()));
        for (std::size_t i = 0; i < list.size(); ++i) {
            line(section, std::to_wstring(i + 1), Escaped(list[i]));
        }
    }
    std::wstring text;

private:
    void line(std::wstring_view section, std::wstring_view key, std::wstring_view value) {
        if (section != section_) {
            if (!text.empty()) text += L"\r\n";
            text.append(L"[").append(section).append(L"]\r\n");
            section_ = section;
        }
        text.append(key).append(L"=").append(value).append(L"\r\n");
    }
    std::wstring section_;
};

using Sections = std::map<std::wstring, std::map<std::wstring, std::wstring>, std::less<>>;

class Reader {
public:
    explicit Reader(const Sections& sections) : sections_(sections) {}
    bool damaged = false;

    void operator()(std::wstring_view section, std::wstring_view key, std::wstring& value) {
        const std::wstring* raw = find(section, key);
        if (!raw) return;
        if (auto text = Unescaped(*raw)) {
            value = std::move(*text);
        } else {
            damaged = true;
        }
    }
    template <typename T>
    void operator()(std::wstring_view section, std::wstring_view key, Sparse<T> sparse) {
        (*this)(section, key, sparse.value);
    }
    void operator()(std::wstring_view section, std::wstring_view key, bool& value) {
        const std::wstring* raw = find(section, key);
        if (!raw) return;
        if (*raw == L"1" || *raw == L"0") {
            value = *raw == L"1";
        } else {
            damaged = true;
        }
    }
    void operator()(std::wstring_view section, std::wstring_view key, int& value) {
        const std::wstring* raw = find(section, key);
        if (!raw) return;
        if (const auto number = Number(*raw)) {
            value = *number;
        } else {
            damaged = true;
        }
    }
    void operator()(std::wstring_view section, std::wstring_view, std::vector<std::wstring>& list) {
        const std::wstring* count = find(section, L"Count");
        if (!count) return;
        const auto size = Number(*count);
        if (!size || *size < 0) {
            damaged = true;
            return;
        }
        // The count is the file's word, not its content: no more entries can follow than the
        // section holds keys besides Count, and room is made for no more.
        const std::size_t held = entries(section) - 1;
        if (static_cast<std::size_t>(*size) > held) damaged = true;
        std::vector<std::wstring> read;
        read.reserve(std::min(static_cast<std::size_t>(*size), held));
        for (int i = 1; i <= *size; ++i) {
            const std::wstring* raw = find(section, std::to_wstring(i));
            auto text = raw ? Unescaped(*raw) : std::nullopt;
            if (!text) {  // the entries up to a gap still belong to their rows
                damaged = true;
                break;
            }
            read.push_back(std::move(*text));
        }
        list = std::move(read);
    }

private:
    std::size_t entries(std::wstring_view section) const {
        const auto keys = sections_.find(section);
        return keys == sections_.end() ? 0 : keys->second.size();
    }
    const std::wstring* find(std::wstring_view section, std::wstring_view key) const {
        const auto keys = sections_.find(section);
        if (keys == sections_.end()) return nullptr;
        const auto found = keys->second.find(std::wstring(key));
        return found == keys->second.end() ? nullptr : &found->second;
    }
    static std::optional<int> Number(std::wstring_view text) {
        std::string ascii;
        for (const wchar_t c : text) {
            if (c > 0x7F) return std::nullopt;
            ascii += static_cast<char>(c);
        }
        int value = 0;
        const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
        if (error != std::errc() || end != ascii.data() + ascii.size() || ascii.empty()) {
            return std::nullopt;
        }
        return value;
    }
    const Sections& sections_;
};

// The file's text: UTF-16 LE after its mark, or UTF-8 with or without one.
std::optional<std::wstring> SettingsText(std::string_view bytes) {
    if (bytes.starts_with("\xFF\xFE")) {
        bytes.remove_prefix(2);
        if (bytes.size() % 2 != 0) return std::nullopt;
        std::wstring text(bytes.size() / 2, L'\0');
        for (std::size_t i = 0; i < text.size(); ++i) {
            text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                           static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
        }
        return text;
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    return Utf8Text(bytes);
}

}  // namespace

std::string SaveSessionSettings(const SessionSettings& settings) {
    Writer writer;
    EachSetting(settings, writer);
    return Utf16LeFile(writer.text);
}

SessionRead<SessionSettings> ReadSessionSettings(std::string_view bytes,
                                                 const SessionSettings& defaults) {
    SessionRead<SessionSettings> read{defaults, false};
    const std::optional<std::wstring> text = SettingsText(bytes);
    if (!text) {
        read.damaged = true;
        return read;
    }
    Sections sections;
    std::wstring_view rest = *text;
    std::map<std::wstring, std::wstring>* keys = nullptr;
    while (!rest.empty()) {
        std::size_t end = rest.find(L'\n');
        std::wstring_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::wstring_view::npos ? rest.size() : end + 1);
        if (line.ends_with(L'\r')) line.remove_suffix(1);
        if (line.empty() || line.front() == L';') continue;
        if (line.front() == L'[' && line.back() == L']' && line.size() >= 2) {
            keys = &sections[std::wstring(line.substr(1, line.size() - 2))];
            continue;
        }
        const std::size_t equals = line.find(L'=');
        if (!keys || equals == std::wstring_view::npos) {
            read.damaged = true;
            continue;
        }
        (*keys)[std::wstring(line.substr(0, equals))] = std::wstring(line.substr(equals + 1));
    }
    Reader reader(sections);
    EachSetting(read.value, reader);
    read.damaged = read.damaged || reader.damaged;
    // Each of the night's values on its own: one out of range keeps its default, the others stay.
    const NightOptions fallback = defaults.night;
    NightOptions& night = read.value.night;
    const auto keep = [&](int NightOptions::*value) {
        NightOptions alone = fallback;
        alone.*value = night.*value;
        if (ValidNightOptions(alone)) return;
        night.*value = fallback.*value;
        read.damaged = true;
    };
    keep(&NightOptions::hungMinutes);
    keep(&NightOptions::longestMinutes);
    keep(&NightOptions::retries);
    return read;
}

SessionRead<std::vector<RenderJob>> ReadSessionRows(std::string_view bytes) {
    for (bool damaged = false;; damaged = true) {
        auto opened = OpenJobList(bytes);
        if (auto* rows = std::get_if<std::vector<RenderJob>>(&opened)) {
            return {std::move(*rows), damaged};
        }
        // Cut the file before the line at fault and read again: the rows before it stand.
        const int line = std::get<JobListFault>(opened).line;
        std::size_t cut = 0;
        for (int seen = 1; seen < line && cut != std::string_view::npos; ++seen) {
            cut = bytes.find('\n', cut);
            if (cut != std::string_view::npos) ++cut;
        }
        if (line <= 2 || cut == std::string_view::npos || cut >= bytes.size()) return {{}, true};
        bytes = bytes.substr(0, cut);
    }
}

std::wstring DamagedFileName(std::wstring_view path, const Timestamp& at) {
    wchar_t stamp[32];
    std::swprintf(stamp, 32, L".damaged-%04d%02d%02d-%02d%02d%02d", at.year, at.month, at.day,
                  at.hour, at.minute, at.second);
    return std::wstring(path) + stamp;
}

std::wstring DamagedFilesMessage(const std::vector<std::pair<std::wstring, std::wstring>>& kept) {
    std::wstring message;
    for (const auto& [path, copy] : kept) {
        message += L"上次保存的文件已损坏：" + path + L"\n";
        message += copy.empty() ? L"无法另存它的副本，本次运行不会覆盖它。\n"
                                : L"原文件已保留为：" + copy + L"\n";
    }
    return message + L"程序已使用其中能读取的内容启动。";
}

std::wstring UnreadableFilesMessage(const std::vector<std::wstring>& paths) {
    std::wstring message;
    for (const std::wstring& path : paths) message += L"无法读取上次的会话文件：" + path + L"\n";
    return message + L"本次运行不会保存任务表和设置，以免覆盖上次保存的内容。"
                     L"请关闭占用该文件的程序（如备份或同步软件）后重新启动Ravolen。";
}

SessionFiles ComposeSession(const JobRowsSnapshot& rows, SessionSettings settings) {
    const std::vector<RenderJob> jobs = rows.jobs();
    SavedEntries folders, extensions;
    bool anySaved = false;
    for (std::size_t k = 0; k < rows.count(); ++k) {
        const SharedSavedValues saved = rows.saved(k);
        folders.push_back(saved ? saved->folder : std::nullopt);
        extensions.push_back(saved ? saved->extension : std::nullopt);
        anySaved = anySaved || saved;
    }
    // Without a row that keeps a value the lists stay as the settings had them.
    if (anySaved) {
        std::vector<std::wstring> cellsOfFolders, cellsOfNames;
        cellsOfFolders.reserve(jobs.size());
        cellsOfNames.reserve(jobs.size());
        for (const RenderJob& job : jobs) {
            cellsOfFolders.push_back(job.outputFolder);
            cellsOfNames.push_back(job.outputName);
        }
        settings.savedOutDirs = SavedFolderList(folders, cellsOfFolders);
        settings.savedExts = SavedExtensionList(extensions, cellsOfNames, settings.appliedFormat);
    }
    return {SaveJobList(jobs), SaveSessionSettings(settings)};
}

}  // namespace ravolen
