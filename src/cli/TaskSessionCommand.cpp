#include "cli/TaskSessionCommand.h"

#include "app/ExitCode.h"
#include "log/Log.h"
#include "log/TerminalLogTarget.h"
#include "platform/DataFolder.h"
#include "platform/DataFolderLock.h"

namespace corvane {

int RunOnTaskSession(const QString& dataFolder, bool lock, std::FILE* out, std::FILE* err,
                     const std::function<int(TaskSession&)>& body) {
    DataFolderLock folderLock;
    if (lock && !(EnsureFolder(dataFolder) && folderLock.TryLock(dataFolder))) {
        std::fprintf(err, "Error: the task list in %s is in use by another Corvane process\n",
                     qUtf8Printable(dataFolder));
        return kExitLocked;
    }
    TerminalLogTarget terminal(out);
    SetLogTarget(&terminal);
    int status = kExitOk;
    {
        TaskSession session(dataFolder);
        status = body(session);
    }
    std::fflush(out);
    SetLogTarget(nullptr);
    return status;
}

}  // namespace corvane
