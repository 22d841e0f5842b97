#include "ui/HelpFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace corvane {

QUrl HelpUrl() {
    const QString programDir = QCoreApplication::applicationDirPath();
    QStringList candidates = {
        programDir + QStringLiteral("/../share/doc/corvane/README.md"),
        programDir + QStringLiteral("/README.md"),
    };
#ifdef CORVANE_SOURCE_README
    candidates << QStringLiteral(CORVANE_SOURCE_README);
#endif
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isFile()) {
            return QUrl::fromLocalFile(QDir::cleanPath(candidate));
        }
    }
    return QUrl();
}

}  // namespace corvane
