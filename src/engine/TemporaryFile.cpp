#include "engine/TemporaryFile.h"

#include <fcntl.h>
#include <unistd.h>
#include <QRandomGenerator>
#include <algorithm>
#include <cctype>
#include <cerrno>

namespace corvane {
namespace {

// Room left for the decoration within the 255-byte limit of a file name.
constexpr qsizetype kMaxTempStem = 200;
constexpr int kTempNameAttempts = 100;
constexpr char kTempMarker[] = ".corvane-";
constexpr int kTempRandomLetters = 6;
constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

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

QByteArray TemporaryNameFor(const QByteArray& name) {
    qsizetype cut = std::min(name.size(), kMaxTempStem);
    while (cut > 0 && cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    QByteArray temp = '.' + name.left(cut) + kTempMarker;
    for (int i = 0; i < kTempRandomLetters; ++i) {
        temp += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
    }
    return temp;
}

bool IsTemporaryName(QByteArrayView name) {
    const qsizetype marker = name.size() - kTempRandomLetters - qsizetype(sizeof kTempMarker - 1);
    if (marker < 1 || name[0] != '.' ||
        name.sliced(marker, sizeof kTempMarker - 1) != kTempMarker) {
        return false;
    }
    for (const char c : name.sliced(marker + sizeof kTempMarker - 1)) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            return false;
        }
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

// Tries names made by TemporaryNameFor beside `target` until `create` makes one that
// did not exist. `create` answers a value >= 0 on success, else -1 with errno set.
template <typename Create>
int CreateBeside(const QByteArray& target, QByteArray& tempPath, Create create) {
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = target.left(slash + 1);
    const QByteArray name = target.mid(slash + 1);
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        tempPath = folder + TemporaryNameFor(name);
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
