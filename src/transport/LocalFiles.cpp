#include "transport/LocalFiles.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include <QDir>

namespace corvane {

bool OpenLocalSource(const QByteArray& path, FileDescriptor& file, qint64& size, QString& whyNot) {
    // O_NONBLOCK keeps a FIFO from hanging the open; the type check then refuses it.
    file.Reset(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info {};
    if (!file.IsOpen() || ::fstat(file.Get(), &info) != 0) {
        whyNot = LocalError("cannot open the local file");
        return false;
    }
    if (!S_ISREG(info.st_mode) ||
        ::fcntl(file.Get(), F_SETFL, ::fcntl(file.Get(), F_GETFL) & ~O_NONBLOCK) != 0) {
        whyNot = QStringLiteral("the local file is no regular file");
        return false;
    }
    size = info.st_size;
    return true;
}

QString LocalError(const char* what) {
    return QLatin1String(what) + QLatin1String(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

bool DownloadTarget::Create(const QString& path, QByteArray (*encodeName)(QStringView),
                            QString& whyNot) {
    const QString absolute =
        QDir::isAbsolutePath(path) ? path : QDir::currentPath() + QLatin1Char('/') + path;
    m_name = encodeName(absolute);
    if (!m_file.Create(AT_FDCWD, m_name)) {
        whyNot = LocalError("cannot create the local file");
        return false;
    }
    return true;
}

bool DownloadTarget::Commit(QString& whyNot) {
    struct stat old {};
    if (::stat(m_name.constData(), &old) == 0 && S_ISREG(old.st_mode)) {
        ::fchmod(m_file.Fd(), old.st_mode & 07777);
    }
    if (!m_file.Commit()) {
        whyNot = LocalError("cannot replace the local file");
        return false;
    }
    return true;
}

}  // namespace corvane
