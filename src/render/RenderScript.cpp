#include "render/RenderScript.h"

#include <algorithm>
#include <cwchar>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "farm/FarmJobs.h"
#include "jobs/FrameList.h"

namespace ravolen {
namespace {

using namespace std::string_view_literals;

// cmd reads '"' as a quoting toggle and a line break as the end of the command; the argument
// parser of the renderer reads '"' too. No escaping makes them safe in every position.
inline bool IsUnsafeCharacter(wchar_t c) {
    const auto code = static_cast<unsigned>(c);
    return c == L'"' || (code < 0x20 && c != L'\t') || (code >= 0x7F && code <= 0x9F);
}

// Characters that end an unquoted argument or make cmd start, chain or redirect a command.
bool NeedsQuotes(std::wstring_view value) {
    // Looked for here rather than by the library's search, a call a character.
    return std::any_of(value.begin(), value.end(), [](wchar_t c) {
        switch (c) {
            case L' ': case L'\t': case L'&': case L'|': case L'<': case L'>': case L'^': case L'(':
            case L')': return true;
            default: return false;
        }
    });
}

void AppendDoublingPercents(std::wstring& out, std::wstring_view value) {
    for (auto percent = std::find(value.begin(), value.end(), L'%'); percent != value.end();
         percent = std::find(value.begin(), value.end(), L'%')) {
        const auto through = static_cast<std::size_t>(percent - value.begin()) + 1;
        out.append(value.substr(0, through));
        out += L'%';
        value.remove_prefix(through);
    }
    out.append(value);
}

// The value's quoting, once it has been appended after `start`: backslashes right before the
// closing quote are doubled, or the renderer's argument parser would read the last of them
// together with the quote as a literal quote.
void CloseQuote(std::wstring& out, std::size_t start) {
    std::size_t trailing = 0;
    while (out.size() - trailing > start && out[out.size() - trailing - 1] == L'\\') ++trailing;
    out.append(trailing, L'\\');
    out += L'"';
}

// A quoted argument.
void AppendQuoted(std::wstring& out, std::wstring_view value) {
    out += L'"';
    const std::size_t start = out.size();
    AppendDoublingPercents(out, value);
    CloseQuote(out, start);
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
    std::size_t at = 0;
#if defined(__SSE2__) && WCHAR_MAX == 0xFFFF
    // Eight units at a time where wchar_t is UTF-16: every text of every row of a script of a
    // hundred thousand rows is checked. Unsigned order is compared as signed with the top bit
    // flipped.
    const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
    const auto below = [&](__m128i units, int limit) {
        return _mm_cmplt_epi16(_mm_xor_si128(units, flip), _mm_set1_epi16(static_cast<short>(limit ^ 0x8000)));
    };
    for (; at + 8 <= value.size(); at += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(value.data() + at));
        const __m128i control = _mm_andnot_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(L'\t')), below(units, 0x20));
        const __m128i quote = _mm_cmpeq_epi16(units, _mm_set1_epi16(L'"'));
        const __m128i c1 = below(_mm_sub_epi16(units, _mm_set1_epi16(0x7F)), 0x9F - 0x7F + 1);
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(control, quote), c1)) != 0) return true;
    }
#endif
    for (; at < value.size(); ++at) {
        if (IsUnsafeCharacter(value[at])) return true;
    }
    return false;
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

// What every job line holds between the scene and the row's own options.
constexpr std::wstring_view RendererSwitches = L" -continueOnError -skipRenderedFrames:1 "sv;

// The row's options after the switches, in the order the renderer options must appear.
void AppendJobOptions(std::wstring& text, const RenderJob& job, const BackburnerSettings* farm,
                      std::wstring_view jobName);

// Appends the text of one job line, in the order the renderer options must appear.
void AppendJobLine(std::wstring& text, const InstallPart& install, const RenderJob& job,
                   const BackburnerSettings* farm, std::wstring_view jobName) {
    text += install.renderer;
    AppendQuoted(text, job.scene);
    text += RendererSwitches;
    AppendJobOptions(text, job, farm, jobName);
}

constexpr std::wstring_view OutputSwitch = L"-outputName:\""sv;

// The camera and size options, each with its blank.
void AppendViewOptions(std::wstring& text, const RenderJob& job) {
    if (!IsDefault(job.camera)) AppendOption(text, L"-cam:"sv, job.camera);
    if (!IsDefault(job.width)) AppendOption(text, L"-w:"sv, job.width);
    if (!IsDefault(job.height)) AppendOption(text, L"-h:"sv, job.height);
}

// The frames, scene state and preset options, each with its blank, after the output: the frame
// list without its blanks, the names always quoted as the output is.
void AppendRowExtras(std::wstring& text, const RenderJob& job) {
    if (!IsDefault(job.frames)) AppendOption(text, L"-frames:"sv, FramesArgument(job.frames));
    if (!IsDefault(job.sceneState)) {
        text += L"-sceneState:"sv;
        AppendQuoted(text, job.sceneState);
        text += L' ';
    }
    if (!IsDefault(job.preset)) {
        text += L"-preset:"sv;
        AppendQuoted(text, job.preset);
        text += L' ';
    }
}

// The switches that hand the job to a Backburner manager.
void AppendFarmOptions(std::wstring& text, const BackburnerSettings& farm, std::wstring_view jobName) {
    AppendOption(text, L"-submit:", farm.manager);
    if (farm.port != 3234) AppendOption(text, L"-port:", std::to_wstring(farm.port));
    AppendOption(text, L"-jobName:", jobName);
    AppendOption(text, L"-priority:", std::to_wstring(farm.priority));
    if (farm.suspended) text += L"-suspended:1 ";
}

void AppendJobOptions(std::wstring& text, const RenderJob& job, const BackburnerSettings* farm,
                      std::wstring_view jobName) {
    AppendViewOptions(text, job);
    text += OutputSwitch;
    const std::size_t output = text.size();
    AppendDoublingPercents(text, job.outputFolder);
    text += L'\\';
    AppendDoublingPercents(text, job.outputName);
    CloseQuote(text, output);
    text += L' ';
    AppendRowExtras(text, job);
    if (farm) AppendFarmOptions(text, *farm, jobName);
}

std::wstring ComposeJobLine(const InstallPart& install, const RenderJob& job,
                            const BackburnerSettings* farm, std::wstring_view jobName) {
    std::wstring text;
    text.reserve(install.renderer.size() + job.scene.size() + job.outputFolder.size() +
                 job.outputName.size() + 96);
    AppendJobLine(text, install, job, farm, jobName);
    return text;
}

// The usual row: nothing unsafe, both output cells filled. Its line is exact in the code page
// when every text in it is.
bool IsPlain(const RenderJob& job, const BackburnerSettings* farm, std::wstring_view jobName) {
    return !HasUnsafe(job.scene) && !HasUnsafe(WrittenOption(job.camera)) &&
           !HasUnsafe(WrittenOption(job.width)) && !HasUnsafe(WrittenOption(job.height)) &&
           !job.outputFolder.empty() && !job.outputName.empty() && !HasUnsafe(job.outputFolder) &&
           !HasUnsafe(job.outputName) && !HasUnsafe(WrittenOption(job.frames)) &&
           !HasUnsafe(WrittenOption(job.sceneState)) && !HasUnsafe(WrittenOption(job.preset)) &&
           (!farm || (!HasUnsafe(farm->manager) && !HasUnsafe(jobName)));
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
        if (IsPlain(job, farm_, jobName_)) {
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
        } else if (auto extraFault = CheckTexts({WrittenOption(job_.frames),
                                                 WrittenOption(job_.sceneState),
                                                 WrittenOption(job_.preset)},
                                                codec)) {
            refuse(*extraFault, false);
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

// The bytes of the text converted last: the rows of a table mostly share their folders and
// options, which are then converted once.
class LastConverted {
public:
    bool appendTo(std::string& bytes, std::wstring_view value, const TextCodec& codec) {
        if (!known_ || value != text_) {
            converted_.clear();
            known_ = codec.encodeInto(value, converted_);
            if (!known_) return false;
            text_.assign(value);
        }
        bytes += converted_;
        return true;
    }

private:
    bool known_ = false;
    std::wstring text_;
    std::string converted_;
};

// The lines of usual rows, converted part by part straight into the script: what every line
// holds once for the whole script, what rows share once a run of them, the rest as it comes. In
// the code pages cmd reads, a text's bytes are its parts' bytes put together.
class PlainLines {
public:

    PlainLines(const InstallPart& install, const TextCodec& codec) : codec_(codec) {
        if (install.fault) return;
        open_ = encodeOnce(install.renderer, renderer_) && encodeOnce(RendererSwitches, switches_) &&
                encodeOnce(OutputSwitch, outputSwitch_) && encodeOnce(L"\"", quote_) &&
                encodeOnce(L"\\", backslash_) && encodeOnce(L" ", blank_);
    }

    // Whether rows may go this way: not when the install folder is refused.
    bool open() const { return open_; }

    // Whether the scene, folder and name stand in the line exactly as they are: no '%' to double,
    // no backslash to double before a closing quote. Other rows are composed whole (JobLine).
    static bool Takes(const RenderJob& job) {
        const auto plain = [](std::wstring_view value) {
            return std::find(value.begin(), value.end(), L'%') == value.end();
        };
        return plain(job.scene) && plain(job.outputFolder) && plain(job.outputName) &&
               !job.scene.ends_with(L'\\') && !job.outputName.ends_with(L'\\');
    }

    // Appends the line of a row it takes to `bytes`; false, with nothing appended, when a text of
    // it is not exact in the code page or the line is too long: the row alone then says which.
    bool append(std::string& bytes, const RenderJob& job, const BackburnerSettings* farm,
                std::wstring_view jobName) {
        const std::size_t start = bytes.size();
        if (!appendByParts(bytes, job, farm, jobName) || bytes.size() - start > MaxScriptLineBytes) {
            bytes.resize(start);
            return false;
        }
        bytes += "\n\r\n";  // as JobLine::appendTo
        return true;
    }

private:
    bool encodeOnce(std::wstring_view text, std::string& bytes) const {
        const auto encoded = codec_.encode(text);
        if (encoded) bytes = *encoded;
        return encoded.has_value();
    }

    bool appendByParts(std::string& bytes, const RenderJob& job, const BackburnerSettings* farm,
                       std::wstring_view jobName) {
        const std::wstring_view scene(job.scene);
        const std::size_t name = scene.find_last_of(L'\\') + 1;  // 0 without a folder
        bytes += renderer_;
        bytes += quote_;
        if (!sceneFolder_.appendTo(bytes, scene.substr(0, name), codec_) ||
            !codec_.encodeInto(scene.substr(name), bytes)) {
            return false;
        }
        bytes += quote_;
        bytes += switches_;
        text_.clear();
        AppendViewOptions(text_, job);
        if (!viewOptions_.appendTo(bytes, text_, codec_)) return false;
        bytes += outputSwitch_;
        if (!outputFolder_.appendTo(bytes, job.outputFolder, codec_)) return false;
        bytes += backslash_;
        if (!codec_.encodeInto(job.outputName, bytes)) return false;
        bytes += quote_;
        bytes += blank_;
        text_.clear();
        AppendRowExtras(text_, job);
        if (!text_.empty() && !codec_.encodeInto(text_, bytes)) return false;
        if (!farm) return true;
        text_.clear();
        AppendFarmOptions(text_, *farm, jobName);
        return codec_.encodeInto(text_, bytes);
    }

    const TextCodec& codec_;
    bool open_ = false;
    std::string renderer_, switches_, outputSwitch_, quote_, backslash_, blank_;
    LastConverted sceneFolder_, viewOptions_, outputFolder_;
    std::wstring text_;  // one part of a line, reused
};

// The program's own fixed text, far below the line limit in any code page.
std::string FinalLine(bool shutdownAfterwards, const TextCodec& codec) {
    if (!shutdownAfterwards) return std::string(EmptyFinalLine);
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
                                   const BackburnerSettings* backburner, int retries) {
    ComposedScript script;
    if (rows.empty()) {  // the install folder only enters through a job line
        script.bytes = FinalLine(shutdownAfterwards, codec);
        return script;
    }
    const InstallPart install = CheckInstallFolder(installFolder, codec);
    script.bytes.reserve(rows.size() * (install.renderer.size() + 160));
    const std::vector<std::wstring> jobNames =
        backburner ? UniqueJobNames(rows) : std::vector<std::wstring>();
    const auto jobName = [&](std::size_t i) {
        return backburner ? std::wstring_view(jobNames[i]) : std::wstring_view();
    };
    PlainLines plain(install, codec);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::size_t start = script.bytes.size();
        if (!plain.open() || !IsPlain(rows[i], backburner, jobName(i)) ||
            !PlainLines::Takes(rows[i]) ||
            !plain.append(script.bytes, rows[i], backburner, jobName(i))) {
            // Any other row on its own, which also finds why a row is refused.
            const JobLine line(install, rows[i], codec, backburner, jobName(i));
            if (line.refusal()) {
                script.refusal = line.refusal();
                return script;
            }
            line.appendTo(script.bytes);
        }
        if (retries <= 0) continue;
        // The same line again, each behind the test of the try before it; the test counts
        // towards the line's length as cmd reads it.
        const std::string job = script.bytes.substr(start, script.bytes.size() - start - 3);
        if (job.size() + RetryPrefix.size() > MaxScriptLineBytes) {
            script.bytes.resize(start);
            script.refusal = ScriptRefusal{ScriptFault::LineTooLong, false, rows[i].scene};
            return script;
        }
        for (int retry = 0; retry < retries; ++retry) {
            script.bytes += RetryPrefix;
            script.bytes += job;
            script.bytes += "\n\r\n";
        }
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

ProcessLaunch ScriptLaunch(std::wstring_view systemFolder, std::wstring_view scriptFolder,
                           unsigned codePage) {
    const std::wstring system(systemFolder);
    const std::wstring cmd = system + L"\\cmd.exe";
    const std::wstring script = L".\\" + std::wstring(ScriptFileName);
    std::wstring run = L"\"" + cmd + L"\" /d /v:off /c " + script;
    // cmd would expand a '%' of the system folder on its own command line: there the console keeps
    // its code page, as it always did.
    if (codePage != 0 && system.find(L'%') == std::wstring::npos) {
        // /c takes away the outer quotes; chcp's own quotes stay, and nothing it says is kept.
        run = L"\"" + cmd + L"\" /d /v:off /c \"\"" + system + L"\\chcp.com\" " +
              std::to_wstring(codePage) + L" >nul 2>nul & " + script + L"\"";
    }
    return ProcessLaunch{cmd, std::move(run), std::wstring(scriptFolder), WindowStyle::Hidden};
}

}  // namespace ravolen
