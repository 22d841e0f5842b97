#include "platform/Volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <mutex>

namespace corvane {
namespace {

std::mutex g_tableMutex;
QString g_tableFile;

// The kernel writes blanks, tabs, new lines and backslashes in the fields as "\ooo".
QByteArray DecodeOctalEscapes(const QByteArray& field) {
    QByteArray result;
    result.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = true;
            for (const char d : digits) {
                ok = ok && d >= '0' && d <= '7';
            }
            if (ok) {
                result.append(static_cast<char>(digits.toInt(nullptr, 8)));
                i += 3;
                continue;
            }
        }
        result.append(c);
    }
    return result;
}

}  // namespace

QString CleanAbsolutePath(const QString& path) {
    const QString absolute =
        QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path);
    QString clean = QDir::cleanPath(absolute);
    // A leading "//" survives cleanPath on some platforms; on Linux it is just "/".
    while (clean.startsWith(QLatin1String("//"))) {
        clean.remove(0, 1);
    }
    return clean;
}

namespace {

bool Holds(const QString& mountPath, const QString& path) {
    if (mountPath == QLatin1String("/")) {
        return path.startsWith(QLatin1Char('/'));
    }
    return path == mountPath ||
           (path.startsWith(mountPath) && path.at(mountPath.size()) == QLatin1Char('/'));
}

bool IsCdDeviceName(const QString& device) {
    static const QRegularExpression pattern(
        QStringLiteral("^/dev/(sr[0-9]+|scd[0-9]+|cdrom[0-9]*)$"));
    return pattern.match(device).hasMatch();
}

}  // namespace

QString MountTableFile() {
    {
        std::lock_guard lock(g_tableMutex);
        if (!g_tableFile.isEmpty()) {
            return g_tableFile;
        }
    }
    const QString fromEnv = qEnvironmentVariable("CORVANE_MOUNTS");
    if (!fromEnv.isEmpty()) {
        return fromEnv;
    }
    return QStringLiteral("/proc/self/mounts");
}

void SetMountTableFile(const QString& path) {
    std::lock_guard lock(g_tableMutex);
    g_tableFile = path;
}

std::vector<MountPoint> ReadMountTable() {
    std::vector<MountPoint> table;
    QFile file(MountTableFile());
    if (!file.open(QIODevice::ReadOnly)) {
        return table;
    }
    // The files of /proc report a size of 0; readAll reads on to the end regardless.
    const QByteArray content = file.readAll();
    for (const QByteArray& line : content.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 3 || fields[0].startsWith('#')) {
            continue;
        }
        MountPoint mount;
        mount.device = QFile::decodeName(DecodeOctalEscapes(fields[0]));
        mount.path = QFile::decodeName(DecodeOctalEscapes(fields[1]));
        mount.fileSystemType = QString::fromLatin1(DecodeOctalEscapes(fields[2]));
        if (!mount.path.startsWith(QLatin1Char('/'))) {
            continue;
        }
        mount.path = CleanAbsolutePath(mount.path);
        table.push_back(mount);
    }
    return table;
}

std::optional<MountPoint> MountPointOf(const QString& path) {
    if (path.isEmpty()) {
        return std::nullopt;
    }
    const QString clean = CleanAbsolutePath(path);
    std::optional<MountPoint> best;
    for (const MountPoint& mount : ReadMountTable()) {
        // ">=": a later entry on the same mount point hides the earlier one.
        if (Holds(mount.path, clean) && (!best || mount.path.size() >= best->path.size())) {
            best = mount;
        }
    }
    return best;
}

bool IsOpticalMount(const MountPoint& mount) {
    if (mount.fileSystemType != QLatin1String("iso9660") &&
        mount.fileSystemType != QLatin1String("udf")) {
        return false;
    }
    if (IsCdDeviceName(mount.device)) {
        return true;
    }
    // Tables may name a device by one of its links (/dev/disk/by-id/...).
    const QString target = QFileInfo(mount.device).canonicalFilePath();
    return !target.isEmpty() && IsCdDeviceName(target);
}

}  // namespace corvane
