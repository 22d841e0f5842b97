#include "platform/DataFolder.h"

#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "model/TaskListFile.h"

namespace corvane {
namespace {

QString ExecutableFolder() {
    if (QCoreApplication::instance() != nullptr) {
        return QCoreApplication::applicationDirPath();
    }
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section('/', 0, -2);
}

QString EnvPath(const char* name) {
    return QString::fromLocal8Bit(qgetenv(name));
}

QString Clean(const QString& path) {
    return QDir::cleanPath(QDir(path).absolutePath());
}

}  // namespace

QString ResolveDataFolder(const QString& overridePath) {
    if (!overridePath.isEmpty()) {
        return Clean(overridePath);
    }
    const QString home = EnvPath("CORVANE_HOME");
    if (!home.isEmpty()) {
        return Clean(home);
    }
    const QString exeFolder = ExecutableFolder();
    if (!exeFolder.isEmpty()) {
        const QByteArray folder = QFile::encodeName(exeFolder);
        const QString taskFile = exeFolder + QLatin1Char('/') + QLatin1String(kTaskListFileName);
        if (QFileInfo::exists(taskFile) && ::access(folder.constData(), W_OK | X_OK) == 0) {
            return Clean(exeFolder);
        }
    }
    QString dataHome = EnvPath("XDG_DATA_HOME");
    if (dataHome.isEmpty() || QDir::isRelativePath(dataHome)) {
        dataHome = QDir::homePath() + QLatin1String("/.local/share");
    }
    return Clean(dataHome + QLatin1String("/corvane"));
}

bool EnsureFolder(const QString& path) {
    if (QFileInfo(path).isDir()) {
        return true;
    }
    if (!QDir().mkpath(path)) {
        return false;
    }
    QFile::setPermissions(path,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return QFileInfo(path).isDir();
}

}  // namespace corvane
