#include "cli/WindowProgram.h"

#include <QFileInfo>

namespace corvane {

QString WindowProgram() {
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QString beside = QFileInfo(self).absolutePath() + QStringLiteral("/corvane");
    return QFileInfo(beside).isExecutable() ? beside : QStringLiteral("corvane");
}

}  // namespace corvane
