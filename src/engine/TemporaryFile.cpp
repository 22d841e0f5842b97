#include "engine/TemporaryFile.h"

#include <fcntl.h>
#include <unistd.h>
#include <QRandomGenerator>
#include <cerrno>

namespace corvane {
namespace {

// Room left for the decoration within the 255-byte limit of a file name.
constexpr qsizetype kMaxTempStem = 200;
constexpr int kTempNameAttempts = 100;

}  // namespace

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool FileDescriptor::Close() {
    if (m_fd < 0) {
        return true;
    }
    const int result = ::close(m_fd);
    m_fd = -1;
    return result == 0;
}

namespace {

// Tries names ".<name>.corvane-XXXXXX" beside `target` until `create` makes one that
// did not exist. `create` answers a value >= 0 on success, else -1 with errno set.
template <typename Create>
int CreateBeside(const QByteArray& target, QByteArray& tempPath, Create create) {
    const qsizetype slash = target.lastIndexOf('/');
    QByteArray name = target.mid(slash + 1);
    if (name.size() > kMaxTempStem) {
        qsizetype cut = kMaxTempStem;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        name.truncate(cut);
    }
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const QByteArray stem = target.left(slash + 1) + '.' + name + ".corvane-";
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        tempPath = stem;
        for (int i = 0; i < 6; ++i) {
            tempPath += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
        }
        const int result = create(tempPath.constData());
        if (result >= 0 || errno != EEXIST) {
            return result;
        }
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

int CreateTempBeside(const QByteArray& target, QByteArray& tempPath) {
    return CreateBeside(target, tempPath, [](const char* path) {
        return ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    });
}

bool CreateLinkBeside(const QByteArray& linkText, const QByteArray& target, QByteArray& tempPath) {
    return CreateBeside(target, tempPath, [&linkText](const char* path) {
               return ::symlink(linkText.constData(), path);
           }) == 0;
}

}  // namespace corvane
