#include "platform/CdBurner.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "log/Log.h"

namespace corvane {

QString FindCdBurningProgram() {
    for (const char* name : {"brasero", "k3b", "xfburn"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty()) {
            return path;
        }
    }
    return QString();
}

QStringList CdBurningArguments(const QString& program, const QString& stagingFolder) {
    const QString name = QFileInfo(program).fileName();
    QStringList arguments{name == QLatin1String("xfburn") ? QStringLiteral("--data-composition")
                                                          : QStringLiteral("--data")};
    // The entries rather than the folder itself: a folder argument would become one
    // folder named after the staging area at the root of the disc.
    const QDir folder(stagingFolder);
    const QFileInfoList entries = folder.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        arguments << entry.absoluteFilePath();
    }
    return arguments;
}

void StartCdBurning(const QString& stagingFolder) {
    const QString program = FindCdBurningProgram();
    if (program.isEmpty()) {
        Log("  Warning: no CD burning program found");
        return;
    }
    if (!QProcess::startDetached(program, CdBurningArguments(program, stagingFolder),
                                 stagingFolder)) {
        Log("  Warning: cannot start CD burning program %s", qUtf8Printable(program));
    }
}

}  // namespace corvane
