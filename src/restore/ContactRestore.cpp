#include "restore/ContactRestore.h"

#include <QDir>

#include "engine/ContactStage.h"
#include "engine/LocalPath.h"
#include "engine/RunTemporary.h"
#include "engine/StageProgress.h"
#include "log/Log.h"
#include "model/FileName.h"
#include "restore/RestoreList.h"
#include "restore/RestoreTarget.h"
#include "restore/SafePath.h"
#include "restore/ZipReader.h"
#include "sources/ContactExport.h"
#include "transport/RemoteSession.h"

namespace corvane {
namespace {

bool IsCardName(const QString& name) {
    return name.endsWith(QLatin1String(".vcf"), Qt::CaseInsensitive);
}

class ContactRestorer {
  public:
    ContactRestorer(const std::vector<RestoreItem>& list, const SourceItem& item,
                    const QString& password)
        : m_list(list), m_item(item), m_password(password) {}

    bool FromArchive(const QString& archivePath, const QString& shownArchive);
    bool FromFolder(const QString& folder);
    bool FromFtp(RemoteSession& ftp);

    bool IsAll() const { return m_item.kind == kItemAllContacts; }
    // The stored name of a one-contact item.
    QString Stored() const { return ContactItemFileName(m_item); }
    // Logs the skip when the user unchecked the card's line.
    bool IsLeftOut(const QString& fileName) const;

  private:
    const std::vector<RestoreItem>& m_list;
    const SourceItem& m_item;
    const QString& m_password;
};

bool ContactRestorer::IsLeftOut(const QString& fileName) const {
    const QString source =
        IsAll() ? QStringLiteral("Contacts: all")
                : QStringLiteral("Contact: ") +
                      ContactDisplayName(m_item.firstName, m_item.middleName, m_item.lastName);
    for (const RestoreItem& record : m_list) {
        if (record.sourceName == source && record.archiveName == fileName && !record.checked) {
            Log("  Skip contact '%s'...", qUtf8Printable(fileName));
            return true;
        }
    }
    return false;
}

bool ContactRestorer::FromArchive(const QString& archivePath, const QString& shownArchive) {
    Log("  Unpacking files from %s...", qUtf8Printable(shownArchive));
    ZipReader zip;
    if (!zip.Open(archivePath)) {
        Log("  Error: cannot open ZIP file");
        Log("  ...%s", qUtf8Printable(zip.OpenFailure()));
        return false;
    }
    bool restored = true;
    bool found = false;
    for (bool more = zip.First(); more; more = zip.Next()) {
        const ZipEntryInfo& entry = zip.Info();
        if (entry.isFolder || entry.repeated || !IsCardName(entry.name) ||
            (!IsAll() && !entry.name.contains(Stored()))) {
            continue;
        }
        found = true;
        if (!IsSafeEntryName(entry.name)) {
            LogUnsafePath(entry.name);
            restored = false;
        } else if (!IsLeftOut(IsAll() ? entry.name : Stored())) {
            // The entry replaces an empty run temporary: the card is read under a name of
            // ours, never the archive's.
            RunTemporary extracted;
            if (!extracted.Create(QStringLiteral("vcf"))) {
                return false;
            }
            RestoreTarget target(FolderOfFile(extracted.Path()));
            if (!zip.ExtractTo(target, extracted.Path().section(QLatin1Char('/'), -1),
                               m_password)) {
                Log("  Error: cannot extract file from ZIP, maybe archive is encrypted");
                restored = false;
            } else {
                Log("  Restore '%s' to the contact store...", qUtf8Printable(entry.name));
                restored = ImportVCardFile(extracted.Path()) && restored;
            }
        }
        if (!IsAll()) {
            break;
        }
    }
    if (!found && !IsAll()) {
        Log("  Error: the archive holds no %s", qUtf8Printable(Stored()));
        return false;
    }
    return restored;
}

bool ContactRestorer::FromFolder(const QString& folder) {
    if (!IsAll()) {
        if (IsLeftOut(Stored())) {
            return true;
        }
        Log("  Restore '%s' to the contact store...", qUtf8Printable(Stored()));
        return ImportVCardFile(WithSlashOrRoot(folder) + Stored());
    }
    Log("  Restore all item from %s to the contact store...",
        qUtf8Printable(FileNameForDisplay(folder)));
    bool restored = true;
    const QStringList names =
        QDir(folder).entryList({QStringLiteral("*.vcf")}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        if (!IsLeftOut(name)) {
            Log("  Restore item '%s' to the contact store...", qUtf8Printable(name));
            restored = ImportVCardFile(WithSlashOrRoot(folder) + name) && restored;
        }
    }
    return restored;
}

bool ContactRestorer::FromFtp(RemoteSession& ftp) {
    QStringList names;
    if (IsAll()) {
        QStringList listed;
        ftp.ListTree(QString(), listed, false);
        for (const QString& name : std::as_const(listed)) {
            if (!name.endsWith(QLatin1Char('/')) && IsCardName(name)) {
                names << name.mid(name.indexOf(QLatin1Char('/')) + 1);
            }
        }
    } else {
        names << Stored();
    }
    bool restored = true;
    for (const QString& name : std::as_const(names)) {
        if (!IsSafeEntryName(name)) {
            LogUnsafePath(name);
            restored = false;
            continue;
        }
        if (IsLeftOut(name)) {
            continue;
        }
        RunTemporary downloaded;
        if (!downloaded.Create(QStringLiteral("vcf")) || !ftp.Download(name, downloaded.Path())) {
            Log("  Error: cannot download file from FTP");
            restored = false;
            continue;
        }
        Log("  Restore item to the contact store...");
        restored = ImportVCardFile(downloaded.Path()) && restored;
    }
    return restored;
}

}  // namespace

bool RestoreContactItem(const std::vector<RestoreItem>& list, const SourceItem& item,
                        const TaskDestination& destination, qint32 method,
                        const QString& archiveName, const QString& archivePassword,
                        RemoteSession* ftp) {
    StageProgress progress;
    ContactRestorer restorer(list, item, archivePassword);
    if (method != kMethodZip) {
        return ftp != nullptr ? restorer.FromFtp(*ftp)
                              : restorer.FromFolder(ArchivePathOf(destination, QString()));
    }
    if (ftp == nullptr) {
        const QString archivePath = ArchivePathOf(destination, archiveName);
        return restorer.FromArchive(archivePath, FileNameForDisplay(archivePath));
    }
    Log("  Download %s from FTP...", qUtf8Printable(archiveName));
    RunTemporary downloaded;
    if (!downloaded.Create(QStringLiteral("tmp_name")) ||
        !ftp->Download(archiveName, downloaded.Path())) {
        Log("  Error: cannot download file %s", qUtf8Printable(archiveName));
        return false;
    }
    return restorer.FromArchive(downloaded.Path(), archiveName);
}

}  // namespace corvane
