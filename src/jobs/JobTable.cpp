#include "jobs/JobTable.h"

#include <cwctype>
#include <utility>

namespace ravolen {

std::array<std::wstring_view, JobColumnCount> JobCellViews(const RenderJob& job) {
    return {job.scene, job.camera, job.outputFolder, job.outputName, job.width,
            job.height, job.frames, job.sceneState, job.preset};
}

std::array<std::wstring, JobColumnCount> JobCells(const RenderJob& job) {
    std::array<std::wstring, JobColumnCount> cells;
    const auto views = JobCellViews(job);
    std::copy(views.begin(), views.end(), cells.begin());
    return cells;
}

std::wstring_view FileNameOf(std::wstring_view path) {
    const std::size_t separator = path.find_last_of(L'\\');
    return separator == std::wstring_view::npos ? path : path.substr(separator + 1);
}

std::wstring_view FolderOf(std::wstring_view path) {
    return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring FoldCase(std::wstring_view text) {
    std::wstring folded(text);
    for (wchar_t& c : folded) {
        // Most of a path is ASCII, folded here; the library's call, slow on Windows, for the rest.
        if (c >= 0x80) {
            c = static_cast<wchar_t>(std::towlower(c));
        } else if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return folded;
}

std::wstring SceneBaseName(std::wstring_view fileName) {
    constexpr std::wstring_view extension = L".max";
    std::wstring base;
    base.reserve(fileName.size());
    for (std::size_t at = 0; at < fileName.size();) {
        const std::size_t found = fileName.find(extension, at);
        base.append(fileName.substr(at, found - at));
        if (found == std::wstring_view::npos) break;
        at = found + extension.size();
    }
    return base;
}

RenderJob JobFromCells(std::array<std::wstring, JobColumnCount> cells) {
    return {std::move(cells[0]), std::move(cells[1]), std::move(cells[2]), std::move(cells[3]), std::move(cells[4]),
            std::move(cells[5]), std::move(cells[6]), std::move(cells[7]), std::move(cells[8])};
}

bool UsesOptionalColumns(const RenderJob& job) {
    return job.frames != DefaultMarker || job.sceneState != DefaultMarker || job.preset != DefaultMarker;
}

}  // namespace ravolen
