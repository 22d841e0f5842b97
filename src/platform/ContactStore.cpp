#include "platform/ContactStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>
#include <QUuid>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "io/DescriptorIo.h"
#include "io/ReplacingFile.h"
#include "log/Log.h"
#include "model/FileName.h"
#include "platform/UserSettings.h"
#include "platform/VCardContact.h"

namespace corvane {
namespace {

struct CardFile {
    QString name;  // inside the store folder
    QString path;  // what is read and replaced: the file itself, or where its link leads
};

QString RealPath(const QString& path) {
    char* real = realpath(FileNameToBytes(path).constData(), nullptr);
    if (real == nullptr) {
        return {};
    }
    const QString result = FileNameFromBytes(real);
    std::free(real);
    return result;
}

// The "*.vcf" files of the folder, by name. A link counts only when it leads to a regular
// file of the same folder: a card must not take us out of the address book. Hidden names
// (our own temporaries among them) are no cards.
bool ListCardFiles(const QString& folder, std::vector<CardFile>& cards) {
    cards.clear();
    DIR* dir = opendir(FileNameToBytes(folder).constData());
    if (dir == nullptr) {
        if (errno == ENOENT) {
            return true;
        }
        Log("  Error: cannot read contacts folder '%s': %s", qUtf8Printable(folder),
            std::strerror(errno));
        return false;
    }
    const QString realFolder = RealPath(folder);
    while (const dirent* entry = readdir(dir)) {
        const QString name = FileNameFromBytes(entry->d_name);
        if (name.startsWith('.') || !name.endsWith(QLatin1String(".vcf"), Qt::CaseInsensitive)) {
            continue;
        }
        const QString path = folder + '/' + name;
        struct stat status {};
        if (lstat(FileNameToBytes(path).constData(), &status) != 0) {
            continue;
        }
        if (S_ISREG(status.st_mode)) {
            cards.push_back({name, path});
            continue;
        }
        const QString target = S_ISLNK(status.st_mode) ? RealPath(path) : QString();
        if (!target.isEmpty() && QFileInfo(target).isFile() &&
            QFileInfo(target).absolutePath() == realFolder) {
            cards.push_back({name, target});
        } else {
            Log("  Warning: contact card '%s' is no file of the contacts folder, skipped",
                qUtf8Printable(name));
        }
    }
    closedir(dir);
    std::sort(cards.begin(), cards.end(),
              [](const CardFile& a, const CardFile& b) { return a.name < b.name; });
    return true;
}

// Reads at most one byte more than a card may hold, so a larger file shows as too large.
bool ReadCardBytes(const QString& path, QByteArray& bytes, mode_t& mode) {
    FileDescriptor file(open(FileNameToBytes(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat status {};
    if (!file.IsOpen() || fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    mode = status.st_mode & 07777;
    bytes.resize(kMaxVCardSize + 1);
    qsizetype size = 0;
    while (size < bytes.size()) {
        const ssize_t count = ReadSome(file.Get(), bytes.data() + size, bytes.size() - size);
        if (count < 0) {
            return false;
        }
        if (count == 0) {
            break;
        }
        size += count;
    }
    bytes.truncate(size);
    return true;
}

struct LoadedCard {
    ParsedVCard parsed;
    QByteArray bytes;
    mode_t mode = 0;
};

// The card of the file, or false with a warning line: a bad card is left out, never fatal.
bool LoadCard(const CardFile& file, LoadedCard& card) {
    if (!ReadCardBytes(file.path, card.bytes, card.mode)) {
        Log("  Warning: cannot read contact card '%s': %s", qUtf8Printable(file.name),
            std::strerror(errno));
        return false;
    }
    QString error;
    if (!ReadVCard(card.bytes, card.parsed, error)) {
        Log("  Warning: contact card '%s' skipped: %s", qUtf8Printable(file.name),
            qUtf8Printable(error));
        return false;
    }
    return true;
}

// Calls `visit` with every card of the folder that reads, by file name, until it answers
// false. False when the folder cannot be listed.
template <typename Visit>
bool ForEachCard(const QString& folder, Visit visit) {
    std::vector<CardFile> files;
    if (!ListCardFiles(folder, files)) {
        return false;
    }
    for (const CardFile& file : files) {
        LoadedCard card;
        if (LoadCard(file, card) && !visit(file, card)) {
            break;
        }
    }
    return true;
}

bool WriteCardFile(const QString& path, const QByteArray& bytes, mode_t mode) {
    ReplacingFile file;
    const bool written = file.Create(AT_FDCWD, FileNameToBytes(path), mode) &&
                         fchmod(file.Fd(), mode) == 0 &&
                         WriteAll(file.Fd(), bytes.constData(), bytes.size()) &&
                         file.Commit(ReplacingFile::Sync::kYes);
    if (!written) {
        Log("  Error: cannot write contact card '%s': %s", qUtf8Printable(path),
            std::strerror(errno));
    }
    return written;
}

}  // namespace

QString ContactStore::ConfiguredFolder() {
    const QString folder = UserSettings::ContactsFolder();
    return folder.isEmpty() ? DefaultFolder() : folder;
}

void ContactStore::SetConfiguredFolder(const QString& folder) {
    UserSettings::SetContactsFolder(folder);
}

QString ContactStore::DefaultFolder() {
    // A relative XDG_DATA_HOME is not valid and counts as unset, as XDG tools treat it.
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || QDir::isRelativePath(data)) {
        data = QDir::homePath() + QLatin1String("/.local/share");
    }
    return data + QLatin1String("/contacts/default");
}

ContactStore::ContactStore(const QString& folder) : m_folder(folder) {}

bool ContactStore::Read(std::vector<StoredContact>& contacts) const {
    contacts.clear();
    return ForEachCard(m_folder, [&contacts](const CardFile& file, const LoadedCard& card) {
        contacts.push_back({file.name, card.parsed.contact});
        return true;
    });
}

bool ContactStore::Save(const Contact& contact, QString* fileName) {
    bool matched = false;
    bool written = false;
    const bool listed = ForEachCard(m_folder, [&](const CardFile& file, const LoadedCard& card) {
        if (!SameContactName(card.parsed.contact, contact)) {
            return true;
        }
        matched = true;
        if (fileName != nullptr) {
            *fileName = file.name;
        }
        const QByteArray updated = RewriteVCard(card.parsed, contact);
        // An unchanged card is not written again: its time stays, sync tools see nothing.
        written = updated == card.bytes || WriteCardFile(file.path, updated, card.mode);
        return false;
    });
    if (!listed || matched) {
        return listed && written;
    }

    if (!QDir().mkpath(m_folder)) {
        Log("  Error: cannot create contacts folder '%s'", qUtf8Printable(m_folder));
        return false;
    }
    const QString uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString name = uid + QLatin1String(".vcf");
    if (fileName != nullptr) {
        *fileName = name;
    }
    // Private data: a new card is for its owner alone.
    return WriteCardFile(m_folder + '/' + name, NewVCard(contact, uid), 0600);
}

}  // namespace corvane
