#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <vector>

namespace ravolen {

// A process as the system lists it: its id, the id of the process that started it, and when it
// started (any clock, the same for all).
struct ListedProcess {
    unsigned long id = 0;
    unsigned long parentId = 0;
    unsigned long long created = 0;
    unsigned long long time = 0;   // processor time used, user and kernel, in 100 ns
    unsigned long long bytes = 0;  // read and written, every kind of I/O
};

// The processes that the root started, and those that they started, and so on, as they are
// listed; the root itself is not among them. Ids are reused once a process has gone, and a process keeps the id of the
// parent that started it: a process counts as a child only when it started after its parent, so
// that a parent's reused id never adopts an older stranger. The root must still be held (so its
// id is not reused) or its `created` must be its own.
inline std::vector<ListedProcess> Descendants(unsigned long rootId, unsigned long long rootCreated,
                                              std::span<const ListedProcess> processes) {
    struct Parent {
        unsigned long id;
        unsigned long long created;
    };
    std::vector<Parent> parents{{rootId, rootCreated}};
    std::vector<ListedProcess> found;
    std::vector<bool> taken(processes.size(), false);
    for (std::size_t next = 0; next < parents.size(); ++next) {
        const Parent parent = parents[next];
        for (std::size_t i = 0; i < processes.size(); ++i) {
            const ListedProcess& process = processes[i];
            if (taken[i] || process.id == rootId || process.parentId != parent.id ||
                process.created < parent.created ||
                std::any_of(found.begin(), found.end(),
                            [&](const ListedProcess& known) { return known.id == process.id; })) {
                continue;
            }
            taken[i] = true;
            found.push_back(process);
            parents.push_back({process.id, process.created});
        }
    }
    return found;
}

}  // namespace ravolen
