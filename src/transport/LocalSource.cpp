#include "transport/LocalSource.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace corvane {

bool OpenLocalSource(const QByteArray& path, FileDescriptor& file, qint64& size, QString& whyNot) {
    // O_NONBLOCK keeps a FIFO from hanging the open; the type check then refuses it.
    file.Reset(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info {};
    if (!file.IsOpen() || ::fstat(file.Get(), &info) != 0) {
        whyNot = QLatin1String("cannot open the local file: ") +
                 QString::fromLocal8Bit(std::strerror(errno));
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

}  // namespace corvane
