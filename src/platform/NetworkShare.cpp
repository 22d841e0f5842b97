#include "platform/NetworkShare.h"

#include <dirent.h>

#include <QDeadlineTimer>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <cerrno>
#include <cstring>

#include "model/FileName.h"
#include "platform/GioCommand.h"

namespace corvane {
namespace {

// The shares MountShare mounted, by their URI: only these are ever unmounted.
QMutex g_mountedHereLock;
QHash<QString, QString> g_mountedHere;  // URI → FUSE folder

// gvfsd-fuse answers EIO for a few seconds on the folder of a share mounted again after
// an unmount (it still holds the old mount's handles): a second run in one session
// would fail on its first write without this wait.
bool WaitUntilReadable(const QString& folder) {
    const QByteArray path = FileNameToBytes(folder);
    const QDeadlineTimer deadline(10000);
    while (true) {
        if (DIR* listing = ::opendir(path.constData())) {
            ::closedir(listing);
            return true;
        }
        if (errno != EIO || deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(200);
    }
}

// The FUSE folder of a mounted location as gio reports it ("local path: ..."); empty
// when it is not mounted or gvfsd-fuse gives it no folder.
QString FuseFolderOf(const QString& uri) {
    const GioResult info = RunGio({QStringLiteral("info"), uri}, nullptr, 15000);
    if (!info.ok) {
        return QString();
    }
    for (const QByteArray& line : info.output.split('\n')) {
        if (line.startsWith("local path: ")) {
            const QString folder = QString::fromUtf8(line.mid(12)).trimmed();
            return WaitUntilReadable(folder) ? folder : QString();
        }
    }
    return QString();
}

QString MountedHere(const QString& uri) {
    const QMutexLocker lock(&g_mountedHereLock);
    return g_mountedHere.value(uri);
}

}  // namespace

QString ShareAddress::ShareUri() const {
    return QStringLiteral("smb://") + server + u'/' + share;
}

std::optional<ShareAddress> ShareAddressOf(const QString& destination) {
    QString rest;
    if (destination.startsWith(QLatin1String("smb://"), Qt::CaseInsensitive)) {
        rest = destination.mid(6);
    } else if (destination.startsWith(QLatin1String("//")) && !destination.startsWith(u"///")) {
        rest = destination.mid(2);
    } else {
        return std::nullopt;
    }
    const QStringList parts = rest.split(u'/');
    if (parts.size() < 2 || parts[0].isEmpty() || parts[1].isEmpty()) {
        return std::nullopt;
    }
    return ShareAddress{parts[0], parts[1], parts.mid(2).join(u'/')};
}

QString ShareLocalPath(const QString& destination) {
    const std::optional<ShareAddress> address = ShareAddressOf(destination);
    if (!address) {
        return destination;
    }
    const QString uri = address->ShareUri();
    QString folder = MountedHere(uri);
    if (folder.isEmpty()) {
        folder = FuseFolderOf(uri);
    }
    if (folder.isEmpty()) {
        return destination;
    }
    return address->below.isEmpty() ? folder : folder + u'/' + address->below;
}

bool MountShare(const ShareAddress& address, const QString& user, const QString& password,
                QString& error) {
    const QString uri = address.ShareUri();
    if (!MountedHere(uri).isEmpty() || !FuseFolderOf(uri).isEmpty()) {
        return true;  // in use already: used as it is, and left mounted
    }
    GioAnswers answers{user, QString(), password};
    const qsizetype backslash = user.indexOf(u'\\');
    if (backslash > 0) {
        answers.domain = user.left(backslash);
        answers.user = user.mid(backslash + 1);
    }
    const GioResult mount = RunGio({QStringLiteral("mount"), uri}, &answers);
    if (!mount.ok) {
        error = mount.error;
        return false;
    }
    const QString folder = FuseFolderOf(uri);
    if (folder.isEmpty()) {
        // Mounted, but without a folder the run could write to (no gvfsd-fuse): undone,
        // so that nothing is left behind.
        RunGio({QStringLiteral("mount"), QStringLiteral("-u"), uri});
        error = QStringLiteral("the share has no local folder (is gvfs-fuse installed?)");
        return false;
    }
    const QMutexLocker lock(&g_mountedHereLock);
    g_mountedHere.insert(uri, folder);
    return true;
}

bool UnmountShare(const ShareAddress& address, QString& error) {
    const QString uri = address.ShareUri();
    {
        const QMutexLocker lock(&g_mountedHereLock);
        if (!g_mountedHere.remove(uri)) {
            return true;
        }
    }
    const GioResult unmount = RunGio({QStringLiteral("mount"), QStringLiteral("-u"), uri});
    error = unmount.error;
    return unmount.ok;
}

QString SystemErrorText(int code) {
    char buffer[256] = {};
    // The GNU strerror_r answers its text, which may not be the buffer.
    return QString::fromLocal8Bit(strerror_r(code, buffer, sizeof buffer));
}

}  // namespace corvane
