#include "app/JobDialog.h"

#include "app/FolderPick.h"

#include <array>
#include <utility>

#include "jobs/FrameList.h"
#include "jobs/UnifiedSettings.h"
#include "win/Controls.h"

namespace ravolen {
namespace {

using win::ControlKind;
using win::ControlSpec;

enum ControlId : int {  // clear of IDOK and IDCANCEL, which IsDialogMessage sends on Enter and Esc
    IdSceneBox = 2001,
    IdCameraBox,
    IdOutputFolderBox,
    IdWidthBox,
    IdHeightBox,
    IdOutputNameBox,
    IdFormatBox,
    IdPickSceneButton,
    IdOkButton,
    IdCancelButton,
    IdOutputFolderButton,
    IdCameraLabel,  // the seven field captions
    IdOutputFolderLabel,
    IdFormatLabel,
    IdSizeLabel,
    IdWidthLabel,
    IdHeightLabel,
    IdOutputNameLabel,
    IdRequiredNote,
    IdFormatMark,
    IdSceneMark,
    IdFormatHint,
    IdCameraHint,
    IdSizeHint,
    IdOutputNameHint,
    IdOutputFolderMark,
    IdOutputNameMark,
    IdFramesLabel,  // the optional fields, after the others
    IdFramesBox,
    IdFramesHint,
    IdSceneStateLabel,
    IdSceneStateBox,
    IdPresetLabel,
    IdPresetBox,
    IdPickPresetButton,
};

constexpr win::FontSpec Field{10.5};
constexpr win::FontSpec Star{14.25};
constexpr COLORREF Red = RGB(255, 0, 0);

// Twips. Controls without a font of their own take the dialog's 9 pt.
const std::array<ControlSpec, 35> Layout{{
    {.kind = ControlKind::Label, .id = IdRequiredNote, .name = L"requiredNote", .left = 120, .top = 240,
     .width = 4695, .height = 255, .tabIndex = 16,
     .caption = L"注意：* 为必填项，其它设为空则为MAX默认值", .font = Field},
    {.kind = ControlKind::TextBox, .id = IdSceneBox, .name = L"sceneBox", .left = 120, .top = 600,
     .width = 3255, .height = 375, .tabIndex = 0, .font = Field},
    {.kind = ControlKind::Label, .id = IdSceneMark, .name = L"sceneMark", .left = 3480, .top = 600,
     .width = 255, .height = 255, .tabIndex = 18, .caption = L"*", .font = Star,
     .textColour = Red},
    {.kind = ControlKind::Button, .id = IdPickSceneButton, .name = L"pickSceneButton", .left = 3720, .top = 600,
     .width = 1215, .height = 375, .tabIndex = 1, .caption = L"添加Max..."},
    {.kind = ControlKind::Label, .id = IdCameraLabel, .name = L"cameraLabel", .left = 240,
     .top = 1080, .width = 975, .height = 255, .tabIndex = 2, .caption = L"渲染相机:",
     .font = Field},
    {.kind = ControlKind::TextBox, .id = IdCameraBox, .name = L"cameraBox", .left = 1320, .top = 1065,
     .width = 2055, .height = 315, .tabIndex = 3, .font = Field},
    {.kind = ControlKind::Label, .id = IdCameraHint, .name = L"cameraHint", .left = 3480, .top = 1130,
     .width = 1695, .height = 255, .tabIndex = 19, .caption = L"空则为MAX激活视窗"},
    {.kind = ControlKind::Label, .id = IdOutputFolderLabel, .name = L"outputFolderLabel", .left = 240,
     .top = 1455, .width = 975, .height = 255, .tabIndex = 4, .caption = L"出图路径:",
     .font = Field},
    {.kind = ControlKind::TextBox, .id = IdOutputFolderBox, .name = L"outputFolderBox", .left = 1320, .top = 1440,
     .width = 2055, .height = 315, .tabIndex = 5, .caption = L"renderOutput", .font = Field},
    {.kind = ControlKind::Label, .id = IdOutputFolderMark, .name = L"outputFolderMark", .left = 3480, .top = 1440,
     .width = 255, .height = 255, .tabIndex = 23, .caption = L"*", .font = Star,
     .textColour = Red},
    {.kind = ControlKind::Button, .id = IdOutputFolderButton, .name = L"outputFolderButton", .left = 3720,
     .top = 1365, .width = 1215, .height = 375, .tabIndex = 15, .caption = L"更改路径...",
     .tooltip = L"选择渲染完的图片保存路径，空则为默认路径"},
    {.kind = ControlKind::Label, .id = IdSizeLabel, .name = L"sizeLabel", .left = 240,
     .top = 1815, .width = 975, .height = 255, .tabIndex = 7, .caption = L"出图尺寸:",
     .font = Field},
    {.kind = ControlKind::Label, .id = IdWidthLabel, .name = L"widthLabel", .left = 1320,
     .top = 1815, .width = 375, .height = 255, .tabIndex = 9, .caption = L"长:", .font = Field},
    {.kind = ControlKind::TextBox, .id = IdWidthBox, .name = L"widthBox", .left = 1680, .top = 1800,
     .width = 615, .height = 315, .tabIndex = 8, .font = Field},
    {.kind = ControlKind::Label, .id = IdHeightLabel, .name = L"heightLabel", .left = 2400,
     .top = 1815, .width = 375, .height = 255, .tabIndex = 11, .caption = L"宽:", .font = Field},
    {.kind = ControlKind::TextBox, .id = IdHeightBox, .name = L"heightBox", .left = 2760, .top = 1800,
     .width = 615, .height = 315, .tabIndex = 10, .font = Field},
    {.kind = ControlKind::Label, .id = IdSizeHint, .name = L"sizeHint", .left = 3480, .top = 1850,
     .width = 1695, .height = 255, .tabIndex = 20, .caption = L"空则为MAX设置尺寸"},
    {.kind = ControlKind::Label, .id = IdOutputNameLabel, .name = L"outputNameLabel", .left = 240,
     .top = 2175, .width = 975, .height = 255, .tabIndex = 21, .caption = L"出图名称:",
     .font = Field},
    {.kind = ControlKind::TextBox, .id = IdOutputNameBox, .name = L"outputNameBox", .left = 1320, .top = 2160,
     .width = 2055, .height = 315, .tabIndex = 14, .font = Field},
    {.kind = ControlKind::Label, .id = IdOutputNameMark, .name = L"outputNameMark", .left = 3480, .top = 2160,
     .width = 135, .height = 255, .tabIndex = 26, .caption = L"*", .font = Star,
     .textColour = Red},
    {.kind = ControlKind::Label, .id = IdOutputNameHint, .name = L"outputNameHint", .left = 3720, .top = 2205,
     .width = 1215, .height = 255, .tabIndex = 22, .caption = L"保存图片名称"},
    {.kind = ControlKind::Label, .id = IdFormatLabel, .name = L"formatLabel", .left = 240,
     .top = 2535, .width = 975, .height = 255, .tabIndex = 6, .caption = L"图片格式:",
     .font = Field},
    {.kind = ControlKind::ComboBox, .id = IdFormatBox, .name = L"formatBox", .left = 1320,
     .top = 2520, .width = 975, .height = 300, .tabIndex = 24, .caption = L"Combox1"},
    {.kind = ControlKind::Label, .id = IdFormatMark, .name = L"formatMark", .left = 2350, .top = 2520,
     .width = 255, .height = 255, .tabIndex = 17, .caption = L"*", .font = Star,
     .textColour = Red},
    {.kind = ControlKind::Label, .id = IdFormatHint, .name = L"formatHint", .left = 2570, .top = 2560,
     .width = 2535, .height = 255, .tabIndex = 25, .caption = L"可自行输入规范的图片后缀名"},
    {.kind = ControlKind::Label, .id = IdFramesLabel, .name = L"framesLabel", .left = 240,
     .top = 2955, .width = 975, .height = 255, .tabIndex = 27, .caption = L"帧:", .font = Field},
    {.kind = ControlKind::TextBox, .id = IdFramesBox, .name = L"framesBox", .left = 1320, .top = 2940,
     .width = 2055, .height = 315, .tabIndex = 28, .caption = L"默认", .font = Field},
    {.kind = ControlKind::Label, .id = IdFramesHint, .name = L"framesHint", .left = 3480, .top = 3000,
     .width = 1605, .height = 255, .tabIndex = 29, .caption = L"如 1,3,5-12"},
    {.kind = ControlKind::Label, .id = IdSceneStateLabel, .name = L"sceneStateLabel", .left = 240,
     .top = 3330, .width = 975, .height = 255, .tabIndex = 30, .caption = L"场景状态:", .font = Field},
    {.kind = ControlKind::TextBox, .id = IdSceneStateBox, .name = L"sceneStateBox", .left = 1320, .top = 3315,
     .width = 2055, .height = 315, .tabIndex = 31, .caption = L"默认", .font = Field},
    {.kind = ControlKind::Label, .id = IdPresetLabel, .name = L"presetLabel", .left = 240,
     .top = 3705, .width = 975, .height = 255, .tabIndex = 32, .caption = L"渲染预设:", .font = Field},
    {.kind = ControlKind::TextBox, .id = IdPresetBox, .name = L"presetBox", .left = 1320, .top = 3690,
     .width = 2055, .height = 315, .tabIndex = 33, .caption = L"默认", .font = Field},
    {.kind = ControlKind::Button, .id = IdPickPresetButton, .name = L"pickPresetButton", .left = 3720,
     .top = 3660, .width = 1215, .height = 375, .tabIndex = 34, .caption = L"浏览…"},
    {.kind = ControlKind::Button, .id = IdOkButton, .name = L"okButton", .left = 240, .top = 4140,
     .width = 1455, .height = 495, .tabIndex = 12, .caption = L"确  定", .font = Field,
     .defaultButton = true},
    {.kind = ControlKind::Button, .id = IdCancelButton, .name = L"cancelButton", .left = 3360,
     .top = 4140, .width = 1455, .height = 495, .tabIndex = 13, .caption = L"取  消",
     .font = Field},
}};

constexpr int ClientWidth = 5085;
constexpr int ClientHeight = 4755;
constexpr double DialogFontPoints = 9;

constexpr const wchar_t* Formats[] = {L".tga", L".jpg", L".bmp", L".png", L".tif", L".hdr"};

// The key filter of a text box, as a handler that receives the typed character by reference.
void FilterKeys(win::Subclass& subclass, HWND edit, void (*keyPress)(wchar_t&)) {
    subclass.attach(edit, [keyPress](UINT message, WPARAM wParam,
                                     LPARAM) -> std::optional<LRESULT> {
        if (message != WM_CHAR) return std::nullopt;
        auto key = static_cast<wchar_t>(wParam);
        keyPress(key);
        if (key == 0) return 0;
        return std::nullopt;
    });
}

// What is wrong with the frames box, or nothing when it holds a frame list or 默认.
std::optional<std::wstring> FramesProblem(const std::wstring& frames) {
    if (frames == DefaultMarker || ParseFrameList(frames)) return std::nullopt;
    return InvalidFramesText(frames);
}

}  // namespace

const win::CommandRoute<JobDialog> JobDialog::Commands[] = {
    {IdPickSceneButton, BN_CLICKED, &JobDialog::onPickSceneClicked},
    {IdOkButton, BN_CLICKED, &JobDialog::onOkClicked},
    {IdCancelButton, BN_CLICKED, &JobDialog::onCancelClicked},
    {IdOutputFolderButton, BN_CLICKED, &JobDialog::onPickOutputFolderClicked},
    {IdPickPresetButton, BN_CLICKED, &JobDialog::onPickPresetClicked},
    {IdFramesBox, EN_CHANGE, &JobDialog::onFramesChanged},
    {IDCANCEL, BN_CLICKED, &JobDialog::onCancelClicked},  // Escape
};

bool JobDialog::create() {
    if (!createForm(L"RavolenJobDialog", L"添加MAX文件及设置", ClientWidth, ClientHeight,
                    DialogFontPoints) ||
        !createControls(Layout)) {
        destroyWindow();
        return false;
    }
    onLoad();
    return true;
}

void JobDialog::show() {
    if (editing_) {  // "+" after 编辑任务: a new job, not the row's
        editing_.reset();
        emptyBoxes();
    }
    ShowWindow(hwnd(), SW_SHOW);
    SetForegroundWindow(hwnd());
}

void JobDialog::edit(RowId id, const RenderJob& job) {
    editing_ = id;
    const NameParts name = SplitOutputName(job.outputName);
    const std::pair<int, const std::wstring*> boxes[] = {
        {IdSceneBox, &job.scene},   {IdCameraBox, &job.camera},         {IdOutputFolderBox, &job.outputFolder},
        {IdOutputNameBox, &name.stem}, {IdFormatBox, &name.extension},  {IdWidthBox, &job.width},
        {IdHeightBox, &job.height}, {IdFramesBox, &job.frames},         {IdSceneStateBox, &job.sceneState},
        {IdPresetBox, &job.preset}};
    for (const auto& [box, text] : boxes) win::SetText(item(box), *text);
    ShowWindow(hwnd(), SW_SHOW);
    SetForegroundWindow(hwnd());
    SetFocus(item(IdSceneBox));
}

void JobDialog::emptyBoxes() {
    for (int id : {IdSceneBox, IdCameraBox, IdWidthBox, IdHeightBox, IdOutputNameBox}) win::SetText(item(id), L"");
    for (int id : {IdFramesBox, IdSceneStateBox, IdPresetBox}) win::SetText(item(id), DefaultMarker);
}

void JobDialog::onLoad() {
    win::SetText(item(IdOutputFolderBox), platform_.programFolder() + L"\\renderOutput");
    const HWND formats = item(IdFormatBox);
    for (const wchar_t* format : Formats) {
        SendMessageW(formats, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(format));
    }
    win::SetText(formats, Formats[0]);
    FilterKeys(widthKeys_, item(IdWidthBox), &JobDialog::digitsOnly);
    FilterKeys(heightKeys_, item(IdHeightBox), &JobDialog::digitsOnly);
}

bool JobDialog::onCommand(int id, int code) {
    return win::RouteCommand<JobDialog>(*this, Commands, id, code);
}

void JobDialog::onPickSceneClicked() {
    const std::vector<std::wstring> answer =
        platform_.openFiles({std::wstring(SceneFileDialogTitle), std::wstring(SceneFileFilter),
                             SceneFileFilterIndex, false});
    if (answer.size() != 1 || answer.front().empty()) return;
    win::SetText(item(IdSceneBox), answer.front());
    win::SetText(item(IdOutputNameBox), SceneBaseName(FileNameOf(answer.front())));
}

void JobDialog::onOkClicked() {
    const int required[] = {IdSceneBox, IdOutputFolderBox, IdFormatBox, IdOutputNameBox};
    bool complete = true;
    for (int id : required) complete = complete && !win::WindowText(item(id)).empty();
    if (!complete) {
        platform_.showMessage(L"请将带 * 号的选项补充完成！！");
        // The focus ends on the last empty one of them.
        for (int id : required) {
            if (win::WindowText(item(id)).empty()) SetFocus(item(id));
        }
        return;
    }
    for (int id : {IdCameraBox, IdWidthBox, IdHeightBox, IdFramesBox, IdSceneStateBox, IdPresetBox}) {
        if (win::WindowText(item(id)).empty()) win::SetText(item(id), DefaultMarker);
    }
    const std::wstring frames = win::WindowText(item(IdFramesBox));
    if (const std::optional<std::wstring> problem = FramesProblem(frames)) {
        platform_.showMessage(*problem);
        SetFocus(item(IdFramesBox));
        return;
    }
    const RenderJob job{win::WindowText(item(IdSceneBox)), win::WindowText(item(IdCameraBox)),
                        win::WindowText(item(IdOutputFolderBox)),
                        win::WindowText(item(IdOutputNameBox)) + win::WindowText(item(IdFormatBox)),
                        win::WindowText(item(IdWidthBox)), win::WindowText(item(IdHeightBox)), frames,
                        win::WindowText(item(IdSceneStateBox)), win::WindowText(item(IdPresetBox))};
    if (const std::optional<RowId> row = std::exchange(editing_, std::nullopt)) {
        table_.replaceJob(*row, job);
    } else {
        table_.addJob(job);
        table_.selectLastJob();
    }
    emptyBoxes();
    ShowWindow(hwnd(), SW_HIDE);
}

void JobDialog::onCancelClicked() { ShowWindow(hwnd(), SW_HIDE); }

void JobDialog::onPickOutputFolderClicked() {
    PickFolderInto(platform_, item(IdOutputFolderBox));
}

void JobDialog::onPickPresetClicked() {
    const std::vector<std::wstring> answer =
        platform_.openFiles({L"选择渲染预设", L"渲染预设 (*.rps)|*.rps|All Files (*.*)|*.*", 1, false});
    if (answer.size() == 1 && !answer.front().empty()) win::SetText(item(IdPresetBox), answer.front());
}

// The hint says what is wrong with the frames as they are typed, before OK does.
void JobDialog::onFramesChanged() {
    const std::wstring frames = win::WindowText(item(IdFramesBox));
    const bool wrong = !frames.empty() && FramesProblem(frames).has_value();
    win::UpdateText(item(IdFramesHint), wrong ? L"不是有效的帧范围" : L"如 1,3,5-12");
}

void JobDialog::digitsOnly(wchar_t& typed) {
    if (!(typed >= L'0' && typed <= L'9') && typed != 8) typed = 0;
}

}  // namespace ravolen
