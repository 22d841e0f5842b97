#pragma once

// A home folder saved whole: dot-files and dot-folders, relative links to a file and to
// a folder, a dangling link, a link loop, a FIFO, a tagged cache folder, a 0600 key in a
// 0700 ".ssh" and a 0755 script.

#include <QString>

#include "support/TempDir.h"

namespace corvane::test {

// Makes the home folder `name` inside `dir` and answers its path; empty when a part of
// it could not be made.
QString MakeHomeTree(const TempDir& dir, const QString& name);

// Empty when `copy` holds what `home` holds under "diff -r --no-dereference", permission
// bits included (os.lstat), the FIFO and the cache's contents aside; else the
// differences.
QString HomeDifferences(const QString& home, const QString& copy);

}  // namespace corvane::test
