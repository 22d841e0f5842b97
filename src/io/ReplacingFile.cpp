#include "io/ReplacingFile.h"

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

ReplacingFile::~ReplacingFile() {
    Discard();
}

// Tries names made by TemporaryNameFor beside `name` until `make` makes one that did
// not exist. `make` answers a value >= 0 on success, else -1 with errno set.
template <typename Make>
bool ReplacingFile::MakeBeside(int folderFd, const QByteArray& name, Make make) {
    Discard();
    m_folderFd = folderFd;
    m_name = name;
    const qsizetype slash = name.lastIndexOf('/');
    const QByteArray folder = name.left(slash + 1);
    const QByteArray bare = name.mid(slash + 1);
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        const QByteArray temp = folder + TemporaryNameFor(bare);
        const int result = make(temp.constData());
        if (result >= 0) {
            m_tempName = temp;
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    errno = EEXIST;
    return false;
}

bool ReplacingFile::Create(int folderFd, const QByteArray& name, mode_t mode) {
    return MakeBeside(folderFd, name, [&](const char* temp) {
        m_fd = ::openat(folderFd, temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        return m_fd;
    });
}

bool ReplacingFile::CreateLink(int folderFd, const QByteArray& name, const QByteArray& linkText) {
    return MakeBeside(folderFd, name, [&](const char* temp) {
        return ::symlinkat(linkText.constData(), folderFd, temp);
    });
}

bool ReplacingFile::Finish(Sync sync) {
    if (m_fd < 0) {
        return true;
    }
    // A file system that cannot sync (a pipe-like or special one) says so with EINVAL
    // or ENOTSUP; that is no failure of the write.
    const bool synced =
        sync == Sync::kNo || ::fsync(m_fd) == 0 || errno == EINVAL || errno == ENOTSUP;
    const int error = errno;
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    if (!synced) {
        errno = error;
    }
    return synced && closed;
}

bool ReplacingFile::Commit(Sync sync) {
    if (m_tempName.isEmpty()) {
        errno = EBADF;
        return false;
    }
    if (!Finish(sync) ||
        ::renameat(m_folderFd, m_tempName.constData(), m_folderFd, m_name.constData()) != 0) {
        Discard();
        return false;
    }
    m_tempName.clear();
    return true;
}

void ReplacingFile::Discard() {
    const int error = errno;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempName.isEmpty()) {
        ::unlinkat(m_folderFd, m_tempName.constData(), 0);
        m_tempName.clear();
    }
    errno = error;
}

}  // namespace corvane
