#pragma once

// `estimate NAME...` of corvane-cli: the estimate log and its size line, through the
// run queue. Needs a QCoreApplication (it runs its event loop until the queue is idle).

#include <QStringList>
#include <cstdio>

namespace corvane {

// 0, or 130 when stopped; 2 for an unknown name.
int EstimateCommand(const QString& dataFolder, const QStringList& names, std::FILE* out,
                    std::FILE* err);

}  // namespace corvane
