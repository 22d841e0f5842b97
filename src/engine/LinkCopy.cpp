#include "engine/LinkCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include "engine/FolderPath.h"
#include "engine/LocalPath.h"
#include "io/ReplacingFile.h"
#include "model/FileName.h"

namespace corvane {

bool CopyLink(const QString& source, const QString& destination, QString& reason) {
    QByteArray text;
    struct stat info {};
    if (!ReadLinkText(source, text) || ::lstat(FileNameToBytes(source).constData(), &info) != 0) {
        reason = QStringLiteral("cannot read the link: ") + qt_error_string(errno);
        return false;
    }
    QByteArray existing;
    if (ReadLinkText(destination, existing) && existing == text) {
        return true;
    }

    const QByteArray target = FileNameToBytes(destination);
    ReplacingFile link;
    const bool made =
        CreateInFolderPath(target, [&] { return link.CreateLink(AT_FDCWD, target, text); });
    if (!made) {
        reason = QStringLiteral("cannot create a link in the destination folder: ") +
                 qt_error_string(errno);
        return false;
    }
    // The link's own time, as a courtesy: whether a link changed is told by its text.
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    ::utimensat(AT_FDCWD, link.TemporaryName().constData(), times, AT_SYMLINK_NOFOLLOW);
    if (!link.Commit()) {
        reason = QStringLiteral("cannot replace the earlier copy: ") + qt_error_string(errno);
        return false;
    }
    return true;
}

}  // namespace corvane
