#include "restore/FtpTaskFinder.h"

#include <algorithm>

#include "engine/RunTemporary.h"
#include "engine/TaskParameterFile.h"
#include "transport/FtpSession.h"

namespace corvane {
namespace {

// "host/folder" of an address, without a trailing "/".
QString HostAndFolder(const FtpAddress& address) {
    QString path = address.path;
    while (path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    return address.host + path;
}

}  // namespace

bool IsFtpAddress(const QString& text) {
    return text.startsWith(QLatin1String("ftp://"), Qt::CaseInsensitive);
}

QString FtpAddressForDisplay(const QString& url) {
    FtpAddress address;
    if (!IsFtpAddress(url) || !ParseFtpUrl(url, address)) {
        return url;
    }
    return BuildFtpUrl(address.host + address.path, address.user, QString(), address.port);
}

QString FtpAddressWithPassword(const QString& url, const QString& password) {
    FtpAddress address;
    if (!IsFtpAddress(url) || !ParseFtpUrl(url, address) || address.user.isEmpty()) {
        return QString();
    }
    return BuildFtpUrl(address.host + address.path, address.user, password, address.port);
}

bool FindFtpStoredTasks(const QString& url, std::vector<FoundTask>& found) {
    found.clear();
    FtpAddress address;
    if (!IsFtpAddress(url) || !ParseFtpUrl(url, address)) {
        return false;
    }
    const QString hostAndFolder = HostAndFolder(address);
    FtpSession ftp;
    if (!ftp.Connect(hostAndFolder, address.user, address.password, address.port,
                     FtpMode::kPassive)) {
        return false;
    }
    QStringList names;
    ftp.ListTree(QString(), names, false);
    QStringList fileNames;
    for (const QString& name : std::as_const(names)) {
        // Names of the session folder itself begin with "/"; folders end in one.
        const QString fileName = name.mid(1);
        if (!name.endsWith(QLatin1Char('/')) && !fileName.contains(QLatin1Char('/')) &&
            fileName.endsWith(QLatin1String(".tsk"), Qt::CaseInsensitive)) {
            fileNames << fileName;
        }
    }
    std::sort(fileNames.begin(), fileNames.end(), [](const QString& a, const QString& b) {
        const int order = QString::compare(a, b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });

    const QString folder = BuildFtpUrl(hostAndFolder, address.user, address.password, address.port);
    const QString shownFolder = BuildFtpUrl(hostAndFolder, address.user, QString(), address.port);
    for (const QString& fileName : std::as_const(fileNames)) {
        // One temporary per file, deleted before the next is fetched.
        RunTemporary temporary;
        if (!temporary.Create(QStringLiteral("tmp_task")) ||
            !ftp.Download(fileName, temporary.Path())) {
            continue;
        }
        FoundTask task;
        task.name = ReadTaskNameFromFile(temporary.Path());
        if (task.name.isEmpty()) {
            continue;
        }
        task.path = BuildFtpUrl(hostAndFolder + QLatin1Char('/') + fileName, address.user,
                                address.password, address.port);
        task.folder = folder;
        task.listLine = FoundTaskLine(task.name, shownFolder);
        found.push_back(std::move(task));
    }
    return true;
}

}  // namespace corvane
