#include "cli/EstimateCommand.h"

#include "app/ExitCode.h"
#include "app/HeadlessQueue.h"
#include "app/TaskJobs.h"

namespace corvane {

int EstimateCommand(const QString& dataFolder, const QStringList& names, std::FILE* out,
                    std::FILE* err) {
    HeadlessQueue run(dataFolder, out, err);
    std::vector<int> indices;
    if (!run.Resolve(names, indices)) {
        return kExitUsage;
    }
    StartTaskEstimate(run.Queue(), run.Session().tasks, std::move(indices));
    run.Wait();
    return run.Signalled() ? kExitStopped : kExitOk;
}

}  // namespace corvane
