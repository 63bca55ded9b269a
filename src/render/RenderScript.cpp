#include "render/RenderScript.h"

#include "farm/FarmJobs.h"

#include <algorithm>

namespace ravolen {
namespace {

// cmd reads '"' as a quoting toggle and a line break as the end of the command; the argument
// parser of the renderer reads '"' too. No escaping makes them safe in every position.
bool IsUnsafeCharacter(wchar_t c) {
    const auto code = static_cast<unsigned>(c);
    return c == L'"' || (code < 0x20 && c != L'\t') || (code >= 0x7F && code <= 0x9F);
}

// Characters that end an unquoted argument or make cmd start, chain or redirect a command.
bool NeedsQuotes(std::wstring_view value) {
    return value.find_first_of(L" \t&|<>^()") != std::wstring_view::npos;
}

void AppendDoublingPercents(std::wstring& out, std::wstring_view value) {
    for (std::size_t percent; (percent = value.find(L'%')) != std::wstring_view::npos;) {
        out.append(value.substr(0, percent + 1));
        out += L'%';
        value.remove_prefix(percent + 1);
    }
    out.append(value);
}

// A quoted argument; backslashes right before the closing quote are doubled, or the renderer's
// argument parser would read the last of them together with the quote as a literal quote.
void AppendQuoted(std::wstring& out, std::wstring_view value) {
    const std::size_t lastOther = value.find_last_not_of(L'\\');
    const std::size_t trailing =
        lastOther == std::wstring_view::npos ? value.size() : value.size() - lastOther - 1;
    out += L'"';
    AppendDoublingPercents(out, value);
    out.append(trailing, L'\\');
    out += L'"';
}

// Camera and size values stand unquoted unless they would split or start a command.
void AppendOption(std::wstring& out, std::wstring_view name, std::wstring_view value) {
    out += name;
    if (NeedsQuotes(value)) {
        AppendQuoted(out, value);
    } else {
        AppendDoublingPercents(out, value);
    }
    out += L' ';
}

bool HasUnsafe(std::wstring_view value) {
    return std::any_of(value.begin(), value.end(), IsUnsafeCharacter);
}

std::optional<ScriptFault> CheckText(std::wstring_view value, const TextCodec& codec) {
    if (HasUnsafe(value)) return ScriptFault::UnsafeText;
    if (!codec.encode(value)) return ScriptFault::Unrepresentable;
    return std::nullopt;
}

std::optional<ScriptFault> CheckTexts(std::initializer_list<std::wstring_view> values,
                                      const TextCodec& codec) {
    for (std::wstring_view value : values) {
        if (auto fault = CheckText(value, codec)) return fault;
    }
    return std::nullopt;
}

bool IsDefault(std::wstring_view value) { return value == DefaultMarker; }

// The camera and size cells enter the line only when they do not hold the marker.
std::wstring_view WrittenOption(std::wstring_view value) {
    return IsDefault(value) ? std::wstring_view{} : value;
}

// The install folder's part of every job line, checked and quoted once for the whole script.
struct InstallPart {
    std::optional<ScriptFault> fault;
    std::wstring renderer;  // the quoted path of 3dsmaxcmd.exe and a blank
};

std::wstring RendererPart(std::wstring_view installFolder) {
    std::wstring renderer;
    AppendQuoted(renderer, std::wstring(installFolder) + L"\\3dsmaxcmd.exe");
    renderer += L' ';
    return renderer;
}

InstallPart CheckInstallFolder(std::wstring_view installFolder, const TextCodec& codec) {
    return InstallPart{CheckText(installFolder, codec), RendererPart(installFolder)};
}

// The text of one job line, in the order the renderer options must appear.
std::wstring ComposeJobLine(const InstallPart& install, const RenderJob& job,
                            const BackburnerSettings* farm, std::wstring_view jobName) {
    std::wstring text;
    text.reserve(install.renderer.size() + job.scene.size() + job.outputFolder.size() +
                 job.outputName.size() + 96);
    text = install.renderer;
    AppendQuoted(text, job.scene);
    text += L" -continueOnError -skipRenderedFrames:1 ";
    if (!IsDefault(job.camera)) AppendOption(text, L"-cam:", job.camera);
    if (!IsDefault(job.width)) AppendOption(text, L"-w:", job.width);
    if (!IsDefault(job.height)) AppendOption(text, L"-h:", job.height);
    text += L"-outputName:";
    AppendQuoted(text, job.outputFolder + L"\\" + job.outputName);
    text += L' ';
    if (farm) {
        AppendOption(text, L"-submit:", farm->manager);
        if (farm->port != 3234) AppendOption(text, L"-port:", std::to_wstring(farm->port));
        AppendOption(text, L"-jobName:", jobName);
        AppendOption(text, L"-priority:", std::to_wstring(farm->priority));
        if (farm->suspended) text += L"-suspended:1 ";
    }
    return text;
}

// Builds one job line in the order the renderer options must appear, or says why it cannot.
class JobLine {
public:
    // `farm` and `jobName` add the switches that hand the job to a Backburner manager.
    JobLine(const InstallPart& install, const RenderJob& job, const TextCodec& codec,
            const BackburnerSettings* farm = nullptr, std::wstring_view jobName = {})
        : job_(job), farm_(farm), jobName_(jobName) {
        if (install.fault) {
            refuse(*install.fault, true);
            return;
        }
        // The usual row costs one conversion: nothing unsafe, both output cells filled, and the
        // whole line exact in the code page, which it is when every text in it is. Any other row
        // is checked text by text, in the order the line is built, for its first fault.
        const bool plain = !HasUnsafe(job.scene) && !HasUnsafe(WrittenOption(job.camera)) &&
                           !HasUnsafe(WrittenOption(job.width)) &&
                           !HasUnsafe(WrittenOption(job.height)) && !job.outputFolder.empty() &&
                           !job.outputName.empty() && !HasUnsafe(job.outputFolder) &&
                           !HasUnsafe(job.outputName) &&
                           (!farm_ || (!HasUnsafe(farm_->manager) && !HasUnsafe(jobName_)));
        if (plain) {
            compose(install);
            encoded_ = codec.encode(text_);
            if (encoded_) {
                if (encoded_->size() > MaxScriptLineBytes) refuse(ScriptFault::LineTooLong, false);
                return;
            }
        }
        findFault(codec);
    }

    const std::optional<ScriptRefusal>& refusal() const { return refusal_; }

    // Appends the line as written: the text, a line feed, then the CR LF that ends every line.
    void appendTo(std::string& bytes) const {
        bytes += *encoded_;
        bytes += "\n\r\n";
    }

private:
    void compose(const InstallPart& install) {
        text_ = ComposeJobLine(install, job_, farm_, jobName_);
    }

    void findFault(const TextCodec& codec) {
        if (auto fault = CheckTexts({job_.scene, WrittenOption(job_.camera),
                                     WrittenOption(job_.width), WrittenOption(job_.height)},
                                    codec)) {
            refuse(*fault, false);
        } else if (job_.outputFolder.empty() || job_.outputName.empty()) {
            refuse(ScriptFault::MissingOutput, false);
        } else if (auto outputFault = CheckTexts({job_.outputFolder, job_.outputName}, codec)) {
            refuse(*outputFault, false);
        } else if (auto farmFault = farm_ ? CheckTexts({farm_->manager, jobName_}, codec)
                                          : std::nullopt) {
            refuse(*farmFault, false);
        } else {
            refuse(ScriptFault::Unrepresentable, false);  // each text alone is: an odd code page
        }
    }

    void refuse(ScriptFault fault, bool inInstallFolder) {
        refusal_ = ScriptRefusal{fault, inInstallFolder, job_.scene};
    }

    const RenderJob& job_;
    const BackburnerSettings* farm_;
    std::wstring_view jobName_;
    std::wstring text_;
    std::optional<std::string> encoded_;
    std::optional<ScriptRefusal> refusal_;
};

// The program's own fixed text, far below the line limit in any code page.
std::string FinalLine(bool shutdownAfterwards, const TextCodec& codec) {
    if (!shutdownAfterwards) return "\r\n";
    const std::wstring line = L"shutdown -s -t 120 -c \"" + std::wstring(ShutdownNotice) + L"\"";
    // On a system whose code page lacks Chinese the notice degrades; the command stays intact.
    const auto exact = codec.encode(line);
    return (exact ? *exact : codec.encodeLossy(line)) + "\r\n";
}

std::wstring_view FaultReason(ScriptFault fault) {
    switch (fault) {
        case ScriptFault::UnsafeText: return L"含有双引号或控制字符";
        case ScriptFault::Unrepresentable: return L"含有系统编码无法表示的字符";
        case ScriptFault::LineTooLong: return L"命令行超过8191个字节";
        case ScriptFault::MissingOutput: break;
    }
    return {};
}

}  // namespace

ComposedScript ComposeRenderScript(std::wstring_view installFolder, std::span<const RenderJob> rows,
                                   bool shutdownAfterwards, const TextCodec& codec,
                                   const BackburnerSettings* backburner) {
    ComposedScript script;
    if (rows.empty()) {  // the install folder only enters through a job line
        script.bytes = FinalLine(shutdownAfterwards, codec);
        return script;
    }
    const InstallPart install = CheckInstallFolder(installFolder, codec);
    script.bytes.reserve(rows.size() * (install.renderer.size() + 160));
    const std::vector<std::wstring> jobNames =
        backburner ? UniqueJobNames(rows) : std::vector<std::wstring>();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const RenderJob& job = rows[i];
        const JobLine line(install, job, codec, backburner,
                           backburner ? std::wstring_view(jobNames[i]) : std::wstring_view());
        if (line.refusal()) {
            script.refusal = line.refusal();
            return script;
        }
        line.appendTo(script.bytes);
    }
    script.bytes += FinalLine(shutdownAfterwards, codec);
    return script;
}

std::wstring RefusalMessage(const ScriptRefusal& refusal) {
    if (refusal.fault == ScriptFault::MissingOutput) {
        return L"请填写 " + refusal.scene + L" 的渲染输出路径";
    }
    const std::wstring reason(FaultReason(refusal.fault));
    if (refusal.inInstallFolder) return L"请修改3dsMax的安装路径：" + reason;
    return L"请修改 " + refusal.scene + L" 的设置：" + reason;
}

std::wstring JobLineText(std::wstring_view installFolder, const RenderJob& job) {
    return ComposeJobLine(InstallPart{std::nullopt, RendererPart(installFolder)}, job, nullptr, {});
}

ProcessLaunch ScriptLaunch(std::wstring_view systemFolder, std::wstring_view scriptFolder) {
    const std::wstring cmd = std::wstring(systemFolder) + L"\\cmd.exe";
    return ProcessLaunch{cmd, L"\"" + cmd + L"\" /d /v:off /c .\\" + std::wstring(ScriptFileName),
                         std::wstring(scriptFolder), WindowStyle::Hidden};
}

}  // namespace ravolen
