#include "render/RenderScript.h"

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

std::wstring DoublePercents(std::wstring_view value) {
    std::wstring out;
    out.reserve(value.size());
    for (wchar_t c : value) {
        out += c;
        if (c == L'%') out += L'%';
    }
    return out;
}

// A quoted argument; backslashes right before the closing quote are doubled, or the renderer's
// argument parser would read the last of them together with the quote as a literal quote.
std::wstring Quoted(std::wstring_view value) {
    const std::size_t lastOther = value.find_last_not_of(L'\\');
    const std::size_t trailing =
        lastOther == std::wstring_view::npos ? value.size() : value.size() - lastOther - 1;
    std::wstring out = L"\"" + DoublePercents(value);
    out.append(trailing, L'\\');
    out += L'"';
    return out;
}

// Camera and size values stand unquoted unless they would split or start a command.
std::wstring OptionValue(std::wstring_view value) {
    return NeedsQuotes(value) ? Quoted(value) : DoublePercents(value);
}

std::optional<ScriptFault> CheckText(std::wstring_view value, const TextCodec& codec) {
    if (std::any_of(value.begin(), value.end(), IsUnsafeCharacter)) return ScriptFault::UnsafeText;
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

// Builds one job line in the order the renderer options must appear, or says why it cannot.
class JobLine {
public:
    JobLine(std::wstring_view installFolder, const RenderJob& job, const TextCodec& codec)
        : job_(job) {
        if (auto fault = CheckText(installFolder, codec)) {
            refuse(*fault, true);
            return;
        }
        if (auto fault = CheckTexts({job.scene, WrittenOption(job.camera),
                                     WrittenOption(job.width), WrittenOption(job.height)},
                                    codec)) {
            refuse(*fault, false);
            return;
        }
        text_ = Quoted(std::wstring(installFolder) + L"\\3dsmaxcmd.exe") + L" ";
        text_ += Quoted(job.scene) + L" ";
        text_ += L"-continueOnError ";
        text_ += L"-skipRenderedFrames:1 ";
        if (!IsDefault(job.camera)) text_ += L"-cam:" + OptionValue(job.camera) + L" ";
        if (!IsDefault(job.width)) text_ += L"-w:" + OptionValue(job.width) + L" ";
        if (!IsDefault(job.height)) text_ += L"-h:" + OptionValue(job.height) + L" ";

        if (job.outputFolder.empty() || job.outputName.empty()) {
            refuse(ScriptFault::MissingOutput, false);
            return;
        }
        if (auto fault = CheckTexts({job.outputFolder, job.outputName}, codec)) {
            refuse(*fault, false);
            return;
        }
        text_ += L"-outputName:" + Quoted(job.outputFolder + L"\\" + job.outputName) + L" ";
        encoded_ = codec.encode(text_);
        if (!encoded_) {  // every piece encoded alone, so only an odd code page gets here
            refuse(ScriptFault::Unrepresentable, false);
        } else if (encoded_->size() > MaxScriptLineBytes) {
            refuse(ScriptFault::LineTooLong, false);
        }
    }

    const std::optional<ScriptRefusal>& refusal() const { return refusal_; }

    // The line as written: the text, a line feed, then the CR LF that ends every written line.
    std::string bytes() const { return *encoded_ + "\n\r\n"; }

private:
    void refuse(ScriptFault fault, bool inInstallFolder) {
        refusal_ = ScriptRefusal{fault, inInstallFolder, job_.scene};
    }

    const RenderJob& job_;
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
                                   bool shutdownAfterwards, const TextCodec& codec) {
    ComposedScript script;
    for (const RenderJob& job : rows) {
        const JobLine line(installFolder, job, codec);
        if (line.refusal()) {
            script.refusal = line.refusal();
            return script;
        }
        script.bytes += line.bytes();
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

ProcessLaunch ScriptLaunch(std::wstring_view systemFolder, std::wstring_view scriptFolder) {
    const std::wstring cmd = std::wstring(systemFolder) + L"\\cmd.exe";
    return ProcessLaunch{cmd, L"\"" + cmd + L"\" /d /v:off /c .\\" + std::wstring(ScriptFileName),
                         std::wstring(scriptFolder), WindowStyle::Hidden};
}

}  // namespace ravolen
