#include "jobs/QuickAdd.h"

#include <cwctype>

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

std::size_t QuickAddCount(const std::vector<std::wstring>& answer) {
    return answer.size() <= 1 ? answer.size() : answer.size() - 1;
}

RenderJob QuickAddJob(const std::vector<std::wstring>& answer, std::size_t index,
                      std::wstring_view outputFolder, std::wstring_view format) {
    if (answer.size() == 1) return QuickJob(answer.front(), FileNameOf(answer.front()), outputFolder, format);
    // The folder is joined to each name with one "\" whatever it ends with.
    const std::wstring& name = answer[index + 1];
    return QuickJob(answer[0] + L"\\" + name, name, outputFolder, format);
}

std::vector<RenderJob> QuickAddJobs(const std::vector<std::wstring>& answer,
                                    std::wstring_view outputFolder, std::wstring_view format) {
    std::vector<RenderJob> jobs;
    jobs.reserve(QuickAddCount(answer));
    for (std::size_t i = 0; i < QuickAddCount(answer); ++i) {
        jobs.push_back(QuickAddJob(answer, i, outputFolder, format));
    }
    return jobs;
}

bool IsSceneFile(std::wstring_view name) {
    if (name.size() < 4) return false;
    const std::wstring_view extension = name.substr(name.size() - 4);
    return extension[0] == L'.' && std::towlower(extension[1]) == L'm' &&
           std::towlower(extension[2]) == L'a' && std::towlower(extension[3]) == L'x';
}

bool NaturalLess(std::wstring_view a, std::wstring_view b) {
    const auto digit = [](wchar_t c) { return c >= L'0' && c <= L'9'; };
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            // Numbers compare by value: fewer digits (leading zeros aside) is smaller.
            std::size_t endA = i, endB = j;
            while (endA < a.size() && digit(a[endA])) ++endA;
            while (endB < b.size() && digit(b[endB])) ++endB;
            std::size_t startA = i, startB = j;
            while (startA + 1 < endA && a[startA] == L'0') ++startA;
            while (startB + 1 < endB && b[startB] == L'0') ++startB;
            if (endA - startA != endB - startB) return endA - startA < endB - startB;
            const int order = a.substr(startA, endA - startA).compare(b.substr(startB, endB - startB));
            if (order != 0) return order < 0;
            i = endA;
            j = endB;
            continue;
        }
        const wchar_t x = static_cast<wchar_t>(std::towlower(a[i]));
        const wchar_t y = static_cast<wchar_t>(std::towlower(b[j]));
        if (x != y) return x < y;
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

}  // namespace ravolen
