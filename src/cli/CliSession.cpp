#include "cli/CliSession.h"

#include <cstdio>

#include "platform/DataFolder.h"

namespace corvane {

bool CliSession::Save(std::FILE* err) const {
    if (EnsureFolder(dataFolder) && SaveTasksAndTree(tasks, tree, dataFolder)) {
        return true;
    }
    std::fputs("Cannot save tasks list.\n", err);
    return false;
}

}  // namespace corvane
