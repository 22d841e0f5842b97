#include "platform/DataFolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QFile>

namespace corvane {

DataFolderLock::~DataFolderLock() {
    Unlock();
}

bool DataFolderLock::TryLock(const QString& dataFolder) {
    Unlock();
    const QByteArray path = QFile::encodeName(dataFolder + QStringLiteral("/corvane.lock"));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void DataFolderLock::Unlock() {
    if (m_fd >= 0) {
        ::close(m_fd);  // closing releases the lock
        m_fd = -1;
    }
}

}  // namespace corvane
