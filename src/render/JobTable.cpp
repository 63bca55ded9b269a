#include "render/JobTable.h"

#include <utility>

namespace ravolen {

std::array<std::wstring, JobColumnCount> JobCells(const RenderJob& job) {
    return {job.scene, job.camera, job.outputFolder, job.outputName, job.width, job.height};
}

RenderJob JobFromCells(std::array<std::wstring, JobColumnCount> cells) {
    return {std::move(cells[0]), std::move(cells[1]), std::move(cells[2]),
            std::move(cells[3]), std::move(cells[4]), std::move(cells[5])};
}

}  // namespace ravolen
