#pragma once

#include <array>
#include <string>
#include <string_view>

namespace ravolen {

// A camera, width, height, frames, scene state or preset cell holding exactly this text leaves the
// value to the scene file.
inline constexpr std::wstring_view DefaultMarker = L"默认";

// One row of the job table, nine texts in column order. Nothing is parsed or trimmed: the cells
// reach the script exactly as the user left them. The last three are optional columns, 默认 unless
// the artist says otherwise: a row made from six cells holds 默认 in them.
struct RenderJob {
    std::wstring scene;         // column 1, "max"
    std::wstring camera;        // column 2, "cam", or DefaultMarker
    std::wstring outputFolder;  // column 3, "out"
    std::wstring outputName;    // column 4, "ming", extension included
    std::wstring width;         // column 5, "length" (caption 长), or DefaultMarker
    std::wstring height;        // column 6, "width" (caption 宽), or DefaultMarker
    std::wstring frames{DefaultMarker};      // column 7, a frame list ("1,3,5-12")
    std::wstring sceneState{DefaultMarker};  // column 8, a scene state's name
    std::wstring preset{DefaultMarker};      // column 9, a render preset file (.rps)

    bool operator==(const RenderJob&) const = default;
};

inline constexpr int JobColumnCount = 9;
// The columns every table shows and every file holds; the others are optional (OptionalColumns).
inline constexpr int JobBaseColumnCount = 6;
// Columns by their 1-based number, as the rows are addressed.
inline constexpr int JobColumnScene = 1;
inline constexpr int JobColumnOutputFolder = 3;
inline constexpr int JobColumnOutputName = 4;
inline constexpr int JobColumnFrames = 7;
inline constexpr int JobColumnSceneState = 8;
inline constexpr int JobColumnPreset = 9;

enum class ColumnAlign { Left = 0, Right = 1, Centre = 2 };

struct JobColumn {
    std::wstring_view key;
    std::wstring_view caption;
    double widthTwips;
    bool grow;
    bool edit;
    ColumnAlign align;
    bool show;
};

inline constexpr std::array<JobColumn, JobColumnCount> JobColumns{{
    {L"max", L"Max文件", 3800.0, true, false, ColumnAlign::Left, true},
    {L"cam", L"相机", 1000.0, true, true, ColumnAlign::Centre, true},
    {L"out", L"出图路径", 2500.0, true, true, ColumnAlign::Left, true},
    {L"ming", L"出图文件名", 1400.0, false, true, ColumnAlign::Left, true},
    {L"length", L"长", 600.0, false, true, ColumnAlign::Centre, true},
    {L"width", L"宽", 600.0, false, true, ColumnAlign::Centre, true},
    {L"frames", L"帧", 1000.0, false, true, ColumnAlign::Left, false},
    {L"state", L"场景状态", 1200.0, false, true, ColumnAlign::Left, false},
    {L"preset", L"渲染预设", 2000.0, false, true, ColumnAlign::Left, false},
}};

// Whether a row uses one of the optional columns (a cell that is not 默认): a table with such a
// row shows them and writes nine columns to its files.
bool UsesOptionalColumns(const RenderJob& job);

// How the open-file dialogs offer scene files: every file, or 3ds Max scenes (chosen first).
inline constexpr std::wstring_view SceneFileDialogTitle = L"请选择文件";
inline constexpr std::wstring_view SceneFileFilter = L"All Files (*.*)|*.*|Max Files(*.max)|*.max";
inline constexpr int SceneFileFilterIndex = 2;

// The text after the last "\" of a path: the whole path when it has none, empty when it ends in one.
std::wstring_view FileNameOf(std::wstring_view path);
// What comes before the path's last "\\": the folder that holds it (the whole path when it has none).
std::wstring_view FolderOf(std::wstring_view path);

// The text in small letters, so that names that differ only in letter case, as Windows and the
// farms treat them, compare equal.
std::wstring FoldCase(std::wstring_view text);

// The scene's name as an output name starts: every ".max" taken out, as written (Room.MAX keeps
// its extension; a.max.old.max gives a.old).
std::wstring SceneBaseName(std::wstring_view fileName);

// Cells by 1-based column number, the numbering the list view rows use.
std::array<std::wstring, JobColumnCount> JobCells(const RenderJob& job);
// The same cells as views of the row's own texts.
std::array<std::wstring_view, JobColumnCount> JobCellViews(const RenderJob& job);
RenderJob JobFromCells(std::array<std::wstring, JobColumnCount> cells);

}  // namespace ravolen
