#pragma once

// The user's contacts: a vdir, one vCard file (3.0 or 4.0, as khard, vdirsyncer and
// CardDAV sync tools write them) per contact in one folder. The default store is
// $XDG_DATA_HOME/contacts/default/ (~/.local/share/contacts/default/); the user may pick
// another address book, kept in the user settings as "Main"/"ContactsFolder".
//
// Reading maps each card onto a Contact; saving a contact replaces, in the card whose
// five name parts match, the properties a Contact carries and keeps everything else of
// that file (UID, PHOTO, CATEGORIES, properties we do not know) in the version it had,
// rewriting it atomically. A contact without a match becomes a new file with a fresh UID.
//
// Any thread may use a store object of its own; operations log their reason on failure.

#include <QString>
#include <vector>

#include "platform/Contact.h"

namespace corvane {

struct StoredContact {
    QString fileName;  // the card's file name inside the store folder
    Contact contact;
};

class ContactStore {
  public:
    // The store of the user settings, else the default folder.
    static QString ConfiguredFolder();
    static void SetConfiguredFolder(const QString& folder);
    static QString DefaultFolder();

    explicit ContactStore(const QString& folder = ConfiguredFolder());

    const QString& Folder() const { return m_folder; }

    // Every contact of the store, ordered by file name. False (with the reason logged)
    // when the folder cannot be read; a missing folder is an empty store (true). Cards
    // that cannot be parsed are left out with a warning line each.
    bool Read(std::vector<StoredContact>& contacts) const;

    // Updates the matching contact in place, or adds the contact as a new card.
    // `fileName` receives the card's file name. False with the reason logged.
    bool Save(const Contact& contact, QString* fileName = nullptr);

  private:
    QString m_folder;
};

}  // namespace corvane
