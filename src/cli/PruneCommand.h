#pragma once

// `prune NAME [--dry-run]` of corvane-cli: removes the task's dated backups beyond the
// number it keeps, as a successful run does, or with --dry-run only lists them.

#include <QStringList>
#include <cstdio>

namespace corvane {

// 0 when every backup beyond the number kept is gone (or, dry, was listed); 1 when the
// destination could not be reached, a backup stayed or the task list could not be
// saved; 2 for a usage error or an unknown task.
int PruneCommand(const QString& dataFolder, const QStringList& args, std::FILE* out,
                 std::FILE* err);

}  // namespace corvane
