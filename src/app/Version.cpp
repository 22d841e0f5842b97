#include "app/Version.h"

namespace corvane {

QString ProgramVersion() {
    const QString commit = QStringLiteral(CORVANE_COMMIT);
    const QString version = QStringLiteral(CORVANE_VERSION);
    return commit.isEmpty() ? version : version + QStringLiteral(" (commit ") + commit + u')';
}

}  // namespace corvane
