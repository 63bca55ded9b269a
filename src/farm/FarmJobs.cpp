#include "farm/FarmJobs.h"

#include <set>

#include "jobs/FrameList.h"

namespace ravolen {
namespace {

void AppendLine(std::wstring& out, std::wstring_view key, std::wstring_view value) {
    out += key;
    out += L'=';
    out += value;
    out += L"\r\n";
}

}  // namespace

std::vector<std::wstring> RendererArguments(const RenderJob& job) {
    std::vector<std::wstring> arguments{job.scene, L"-continueOnError", L"-skipRenderedFrames:1"};
    if (job.camera != DefaultMarker) arguments.push_back(L"-cam:" + job.camera);
    if (job.width != DefaultMarker) arguments.push_back(L"-w:" + job.width);
    if (job.height != DefaultMarker) arguments.push_back(L"-h:" + job.height);
    arguments.push_back(L"-outputName:" + job.outputFolder + L"\\" + job.outputName);
    if (job.frames != DefaultMarker) arguments.push_back(L"-frames:" + FramesArgument(job.frames));
    if (job.sceneState != DefaultMarker) arguments.push_back(L"-sceneState:" + job.sceneState);
    if (job.preset != DefaultMarker) arguments.push_back(L"-preset:" + job.preset);
    return arguments;
}

std::wstring JoinCommandLine(std::span<const std::wstring> arguments) {
    std::wstring line;
    for (const std::wstring& argument : arguments) {
        if (!line.empty()) line += L' ';
        if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
            line += argument;
            continue;
        }
        // Backslashes count only before a quote: there they are doubled, and one more escapes it.
        line += L'"';
        std::size_t backslashes = 0;
        for (wchar_t c : argument) {
            if (c == L'\\') {
                ++backslashes;
                continue;
            }
            line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
            backslashes = 0;
            line += c;
        }
        line.append(backslashes * 2, L'\\');
        line += L'"';
    }
    return line;
}

std::wstring DeadlineJobInfo(const RenderJob& job, const DeadlineSettings& settings) {
    std::wstring info;
    AppendLine(info, L"Plugin", L"CommandLine");
    AppendLine(info, L"Name", FileNameOf(job.scene));
    AppendLine(info, L"Comment", L"Ravolen");
    AppendLine(info, L"Frames", L"0");
    AppendLine(info, L"ChunkSize", L"1");
    AppendLine(info, L"Priority", std::to_wstring(settings.priority));
    if (!settings.pool.empty()) AppendLine(info, L"Pool", settings.pool);
    if (!settings.group.empty()) AppendLine(info, L"Group", settings.group);
    if (settings.suspended) AppendLine(info, L"InitialStatus", L"Suspended");
    AppendLine(info, L"OutputDirectory0", job.outputFolder);
    AppendLine(info, L"OutputFilename0", job.outputName);
    return info;
}

std::wstring DeadlinePluginInfo(std::wstring_view installFolder, const RenderJob& job) {
    std::wstring arguments = JoinCommandLine(RendererArguments(job));
    std::wstring written;
    for (wchar_t c : arguments) {
        if (c == L'"') {
            written += L"<QUOTE>";
        } else {
            written += c;
        }
    }
    std::wstring info;
    AppendLine(info, L"Executable", std::wstring(installFolder) + L"\\3dsmaxcmd.exe");
    AppendLine(info, L"Arguments", written);
    AppendLine(info, L"Shell", L"False");
    return info;
}

std::string Utf16LeFile(std::wstring_view text) {
    std::string bytes = "\xFF\xFE";
    bytes.reserve(2 + text.size() * 2);
    for (wchar_t c : text) {
        bytes += static_cast<char>(static_cast<unsigned>(c) & 0xFF);
        bytes += static_cast<char>((static_cast<unsigned>(c) >> 8) & 0xFF);
    }
    return bytes;
}

std::optional<std::wstring> DeadlineJobId(std::wstring_view output) {
    for (std::size_t at = 0; at < output.size();) {
        std::size_t end = output.find(L'\n', at);
        if (end == std::wstring_view::npos) end = output.size();
        std::wstring_view line = output.substr(at, end - at);
        if (line.ends_with(L'\r')) line.remove_suffix(1);
        if (line.starts_with(L"JobID=") && line.size() > 6) return std::wstring(line.substr(6));
        at = end + 1;
    }
    return std::nullopt;
}

std::wstring LocalPathQuestion(std::span<const RenderJob> rows,
                               const std::function<bool(const std::wstring&)>& onNetwork) {
    constexpr int Listed = 20;  // a question that still fits on the screen
    std::wstring list;
    int local = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (const std::wstring* path : {&rows[i].scene, &rows[i].outputFolder, &rows[i].preset}) {
            if (path == &rows[i].preset && (path->empty() || *path == DefaultMarker)) continue;
            if (onNetwork(*path)) continue;
            if (++local <= Listed) {
                list += L"\n第" + std::to_wstring(i + 1) + L"行：" + *path;
            }
        }
    }
    if (local == 0) return {};
    if (local > Listed) list += L"\n……共" + std::to_wstring(local) + L"处";
    return L"农场的渲染节点可能无法访问以下本地路径，仍要提交吗？\n" + list;
}

std::wstring LastLine(std::wstring_view output) {
    std::wstring_view last;
    for (std::size_t at = 0; at < output.size();) {
        std::size_t end = output.find(L'\n', at);
        if (end == std::wstring_view::npos) end = output.size();
        std::wstring_view line = output.substr(at, end - at);
        while (!line.empty() && (line.back() == L'\r' || line.back() == L' ')) line.remove_suffix(1);
        if (!line.empty()) last = line;
        at = end + 1;
    }
    return std::wstring(last);
}

std::vector<std::wstring> UniqueJobNames(std::span<const RenderJob> rows) {
    // A manager tells names apart regardless of letter case.
    std::vector<std::wstring> names;
    std::set<std::wstring> taken;
    for (const RenderJob& job : rows) {
        const std::wstring base = SceneBaseName(FileNameOf(job.scene));
        std::wstring name = base;
        for (int n = 2; taken.count(FoldCase(name)); ++n) name = base + L" (" + std::to_wstring(n) + L")";
        taken.insert(FoldCase(name));
        names.push_back(std::move(name));
    }
    return names;
}

std::wstring DefaultDeadlineCommand(std::wstring_view deadlineFolder) {
    std::wstring path(deadlineFolder);
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path.empty() ? L"deadlinecommand.exe" : path + L"\\deadlinecommand.exe";
}

DeadlineRowFiles DeadlineFilesOf(std::wstring_view installFolder, const RenderJob& job,
                                 const DeadlineSettings& settings) {
    return {Utf16LeFile(DeadlineJobInfo(job, settings)), Utf16LeFile(DeadlinePluginInfo(installFolder, job))};
}

}  // namespace ravolen
