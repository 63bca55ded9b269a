#include "mainwindow/QuickAdd.h"

namespace ravolen {
namespace {

RenderJob QuickJob(std::wstring scene, std::wstring_view fileName, std::wstring_view outputFolder,
                   std::wstring_view format) {
    return {std::move(scene),
            std::wstring(DefaultMarker),
            std::wstring(outputFolder),
            SceneBaseName(fileName) + std::wstring(format),
            std::wstring(DefaultMarker),
            std::wstring(DefaultMarker)};
}

}  // namespace

std::vector<RenderJob> QuickAddJobs(const std::vector<std::wstring>& answer,
                                    std::wstring_view outputFolder, std::wstring_view format) {
    std::vector<RenderJob> jobs;
    if (answer.size() == 1) {
        const std::wstring& path = answer.front();
        jobs.push_back(QuickJob(path, FileNameOf(path), outputFolder, format));
        return jobs;
    }
    // The folder is joined to each name with one "\" whatever it ends with.
    jobs.reserve(answer.empty() ? 0 : answer.size() - 1);
    for (std::size_t i = 1; i < answer.size(); ++i) {
        jobs.push_back(QuickJob(answer[0] + L"\\" + answer[i], answer[i], outputFolder, format));
    }
    return jobs;
}

}  // namespace ravolen
