#pragma once

// One contact as backups carry it: the properties a vCard file of a backup holds. The
// contact store (platform/ContactStore.h) reads and writes them; the vCard 2.1 files of a
// backup (sources/VCard21.h) are made from them and read back into them.

#include <QDate>
#include <QString>
#include <QStringList>
#include <array>

namespace corvane {

// The seven parts of a postal address, in the order vCard lists them.
struct ContactAddress {
    QString poBox;
    QString extended;
    QString street;
    QString city;
    QString region;
    QString postalCode;
    QString country;

    bool IsEmpty() const;
    bool operator==(const ContactAddress&) const = default;
};

enum class ContactGender { kUnspecified, kFemale, kMale };

struct Contact {
    // The five parts of "N:" - what a restore matches a stored contact on.
    QString lastName;
    QString firstName;
    QString middleName;
    QString title;   // honorific prefix ("Dr.")
    QString suffix;  // honorific suffix ("Jr.")

    QString company;
    QString jobTitle;
    QString role;

    QString businessPhone;
    QString business2Phone;
    QString homePhone;
    QString home2Phone;
    QString primaryPhone;
    QString mobilePhone;
    QString carPhone;
    QString businessFax;
    QString homeFax;
    QString pager;

    QString webPage;
    std::array<QString, 3> emails;  // first, second, third address

    QDate birthday;     // invalid when none
    QDate anniversary;  // invalid when none

    ContactAddress businessAddress;
    ContactAddress homeAddress;
    ContactAddress otherAddress;  // postal

    QString spouse;
    QString children;
    QString nickname;
    QString hobby;
    QString language;
    QString note;
    ContactGender gender = ContactGender::kUnspecified;

    bool operator==(const Contact&) const = default;
};

// First, middle and last name, each non-empty one followed by a blank, trimmed: "Ann Lee".
QString ContactDisplayText(const QString& first, const QString& middle, const QString& last);
QString ContactDisplayText(const Contact& contact);

// True when the five "N:" parts are equal (case-sensitive).
bool SameContactName(const Contact& a, const Contact& b);

}  // namespace corvane
