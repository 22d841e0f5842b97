#pragma once

// The program's version as both front ends print it: the project's version, plus the
// commit when the build was configured in a git checkout ("0.1.0 (commit 1a2b3c4)").

#include <QString>

namespace corvane {

QString ProgramVersion();

}  // namespace corvane
