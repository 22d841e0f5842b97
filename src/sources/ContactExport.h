#pragma once

// Contacts between the contact store (platform/ContactStore.h) and the vCard 2.1 files of
// a backup (sources/VCard21.h): the export a backup stores, the import a restore makes.
//
// Both work on the store of the user settings. Any thread; operations log their reason.

#include <QString>
#include <QStringList>

namespace corvane {

// Writes one "<display text>.vcf" per contact into `folder` (replacing files there):
// every contact with `all`, else the first contact whose first, middle and last names are
// the given ones (case-sensitive). The names written are appended to `fileNames`. A
// second contact with the same display text gets a numbered name ("Ann Lee~1.vcf"), with
// a warning, instead of replacing the first one's file. An empty store logs "  Warning:
// contacts list is empty" and writes nothing. False when the store cannot be read, the
// wanted single contact is not in it (an empty store included), or a file cannot be
// written.
[[nodiscard]] bool ExportContacts(const QString& first, const QString& middle, const QString& last,
                                  bool all, const QString& folder, QStringList& fileNames);

// Reads the vCard file into the store: the contact whose five name parts match is
// updated (tags absent from the card leave its properties as they are), else the card
// becomes a new contact. Importing the same file twice therefore adds nothing. False,
// with nothing changed, when the file cannot be read or the store not written.
[[nodiscard]] bool ImportVCardFile(const QString& path);

}  // namespace corvane
