#include "sources/ContactExport.h"

#include <climits>

#include <QFile>
#include <QSet>
#include <vector>

#include "log/Log.h"
#include "model/FileName.h"
#include "platform/ContactStore.h"
#include "sources/VCard21.h"
#include "sources/VCard21Reader.h"

namespace corvane {
namespace {

const QString kExtension = QStringLiteral(".vcf");

// "<name>~<number>.vcf" for a name already taken, cut (whole characters) to the longest
// name a file may have.
QString NumberedName(const QString& taken, int number) {
    QString base = taken.chopped(kExtension.size());
    const QString tail = QStringLiteral("~%1").arg(number) + kExtension;
    while (!base.isEmpty() && FileNameToBytes(base + tail).size() > NAME_MAX) {
        base.chop(base.size() > 1 && base.back().isLowSurrogate() ? 2 : 1);
    }
    return base + tail;
}

// A file name no earlier contact of this export took.
QString UnusedName(const Contact& contact, QSet<QString>& used) {
    const QString name = ContactFileName(contact);
    QString unused = name;
    for (int number = 1; used.contains(unused); ++number) {
        unused = NumberedName(name, number);
    }
    if (unused != name) {
        Log("  Warning: another contact is also named '%s', this one is saved as '%s'",
            qUtf8Printable(ContactDisplayText(contact)), qUtf8Printable(unused));
    }
    used.insert(unused);
    return unused;
}

}  // namespace

bool ExportContacts(const QString& first, const QString& middle, const QString& last, bool all,
                    const QString& folder, QStringList& fileNames) {
    std::vector<StoredContact> contacts;
    const ContactStore store;
    if (!store.Read(contacts)) {
        Log("  Error: cannot read contacts from the contact store %s",
            qUtf8Printable(FileNameForDisplay(store.Folder())));
        return false;
    }
    if (contacts.empty()) {
        Log("  Warning: contacts list is empty");
        if (all) {
            return true;
        }
    }
    QSet<QString> used;
    for (const StoredContact& stored : contacts) {
        const Contact& contact = stored.contact;
        if (!all && (contact.firstName != first || contact.middleName != middle ||
                     contact.lastName != last)) {
            continue;
        }
        const QString name = UnusedName(contact, used);
        if (!WriteVCard21(contact, folder + QLatin1Char('/') + name)) {
            return false;
        }
        fileNames << name;
        if (!all) {
            return true;
        }
    }
    if (!all) {
        // A backup that silently stores nothing of the item would be taken for a good one.
        Log("  Error: cannot find contact '%s' in the contact store",
            qUtf8Printable(ContactDisplayText(first, middle, last)));
        return false;
    }
    return true;
}

bool ImportVCardFile(const QString& path) {
    Contact card;
    if (!ReadVCard21(path, card)) {
        return false;
    }
    ContactStore store;
    std::vector<StoredContact> contacts;
    if (!store.Read(contacts)) {
        return false;
    }
    for (const StoredContact& stored : contacts) {
        if (!SameContactName(stored.contact, card)) {
            continue;
        }
        // The card applied over the stored contact: what the card does not name stays.
        Contact updated = stored.contact;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) ||
            ReadVCard21Lines(file, updated).state != VCard21Read::State::kRead) {
            Log("  Error: cannot access file '%s'", qUtf8Printable(FileNameForDisplay(path)));
            return false;
        }
        card = updated;
        break;
    }
    return store.Save(card);
}

}  // namespace corvane
