#include "engine/ContactStage.h"

#include "engine/ArchiveList.h"
#include "engine/FolderPath.h"
#include "engine/LocalPath.h"
#include "engine/RunTemporaryFolder.h"
#include "engine/StageProgress.h"
#include "log/Log.h"
#include "platform/Contact.h"
#include "sources/ContactExport.h"
#include "sources/VCard21.h"
#include "transport/RemoteSession.h"

namespace corvane {
namespace {

bool Export(const SourceItem& item, const QString& folder, QStringList& fileNames) {
    const bool all = item.kind == kItemAllContacts;
    if (all) {
        Log("  Copy all contacts from the contact store:");
    }
    return ExportContacts(item.firstName, item.middleName, item.lastName, all,
                          WithoutTrailingSlash(folder), fileNames);
}

}  // namespace

QString ContactItemFileName(const SourceItem& item) {
    Contact contact;
    contact.firstName = item.firstName;
    contact.middleName = item.middleName;
    contact.lastName = item.lastName;
    return ContactFileName(contact);
}

StageResult CopyContactsToFolder(const SourceItem& item, const QString& folder) {
    StageProgress progress;
    CreateFolderPath(folder);
    QStringList written;
    return Export(item, folder, written) ? StageResult::kStored : StageResult::kNotExported;
}

StageResult CopyContactsToFtp(const SourceItem& item, RemoteSession& ftp) {
    StageProgress progress;
    Log("  Create folders on FTP...");
    ftp.CreateFolders(QString());
    Log("  Copy contacts...");
    RunTemporaryFolder exported;
    QStringList written;
    if (!exported.Create(QStringLiteral("vcf")) || !Export(item, exported.Path(), written)) {
        return StageResult::kNotExported;
    }
    StageResult result = StageResult::kStored;
    for (const QString& name : std::as_const(written)) {
        if (!ftp.Upload(exported.Path() + QLatin1Char('/') + name, name)) {
            Log("  Error: cannot upload file");
            result = StageResult::kNotUploaded;
        }
    }
    return result;
}

StageResult AddContactsToArchive(const SourceItem& item, ArchiveList& archive,
                                 RunTemporaryFolder& exported) {
    StageProgress progress;
    Log("  Copy contacts...");
    QStringList written;
    if (!exported.Create(QStringLiteral("vcf")) || !Export(item, exported.Path(), written)) {
        return StageResult::kNotExported;
    }
    for (const QString& name : std::as_const(written)) {
        archive.Add(exported.Path() + QLatin1Char('/') + name, name, true);
    }
    return StageResult::kStored;
}

}  // namespace corvane
