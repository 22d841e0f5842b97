#include "restore/FtpTaskFinder.h"

#include <algorithm>

#include "engine/FtpTaskSession.h"
#include "engine/RunTemporary.h"
#include "engine/TaskParameterFile.h"

namespace corvane {
namespace {

// The address with its path ending without "/", and `name` below it when given.
FtpAddress Below(FtpAddress address, const QString& name = QString()) {
    while (address.path.endsWith(QLatin1Char('/'))) {
        address.path.chop(1);
    }
    if (!name.isEmpty()) {
        address.path += QLatin1Char('/') + name;
    }
    return address;
}

FtpAddress WithPassword(FtpAddress address, const QString& password) {
    address.password = password;
    return address;
}

}  // namespace

QStringList FtpTaskFileNames(RemoteSession& ftp, const QString& folder) {
    QStringList names;
    ftp.ListTree(folder, names, false);
    // Names come back as "<folder>/<name>", folders with a final "/".
    const int prefixLength = static_cast<int>(folder.size()) + 1;
    QStringList fileNames;
    for (const QString& name : std::as_const(names)) {
        const QString fileName = name.mid(prefixLength);
        if (!name.endsWith(QLatin1Char('/')) && !fileName.contains(QLatin1Char('/')) &&
            fileName.endsWith(QLatin1String(".tsk"), Qt::CaseInsensitive)) {
            fileNames << fileName;
        }
    }
    std::sort(fileNames.begin(), fileNames.end(), [](const QString& a, const QString& b) {
        const int order = QString::compare(a, b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
    return fileNames;
}

QString FtpAddressForDisplay(const QString& url) {
    FtpAddress address;
    if (!IsFtpAddress(url) || !ParseFtpAddress(url, address)) {
        return url;
    }
    return FtpAddressText(WithPassword(address, QString()));
}

QString FtpAddressWithPassword(const QString& url, const QString& password) {
    FtpAddress address;
    if (!IsFtpAddress(url) || !ParseFtpAddress(url, address) || address.user.isEmpty()) {
        return QString();
    }
    return FtpAddressText(WithPassword(address, password));
}

bool FindFtpStoredTasks(const QString& url, std::vector<FoundTask>& found,
                        const RemoteAccess& access) {
    found.clear();
    FtpAddress address;
    if (!IsFtpAddress(url) || !ParseFtpAddress(url, address)) {
        return false;
    }
    const FtpAddress folder = Below(address);
    FtpEndpoint endpoint = FtpEndpointOfAddress(folder);
    endpoint.mode = FtpMode::kPassive;
    endpoint.access = access;
    const std::unique_ptr<RemoteSession> ftp = NewRemoteSession(endpoint.protocol);
    if (!ftp->Connect(endpoint)) {
        return false;
    }
    const QString shownFolder = FtpAddressText(WithPassword(folder, QString()));
    for (const QString& fileName : FtpTaskFileNames(*ftp)) {
        // One temporary per file, deleted before the next is fetched.
        RunTemporary temporary;
        if (!temporary.Create(QStringLiteral("tmp_task")) ||
            !ftp->Download(fileName, temporary.Path())) {
            continue;
        }
        FoundTask task;
        task.name = ReadTaskNameFromFile(temporary.Path());
        if (task.name.isEmpty()) {
            continue;
        }
        task.path = FtpAddressText(Below(folder, fileName));
        task.folder = FtpAddressText(folder);
        task.listLine = FoundTaskLine(task.name, shownFolder);
        task.access = access;
        found.push_back(std::move(task));
    }
    return true;
}

}  // namespace corvane
