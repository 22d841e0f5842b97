#pragma once

// A vCard 3.0 or 4.0 file of a vdir read into a Contact, and written back with only the
// properties a Contact carries replaced. Pure functions on bytes: the store reads and
// writes the files.

#include <QByteArray>
#include <QString>
#include <vector>

#include "platform/Contact.h"
#include "platform/VCardLine.h"

namespace corvane {

// A card larger than this is refused: no contact needs it, and a hostile file must not
// make us hold gigabytes.
inline constexpr qsizetype kMaxVCardSize = 1024 * 1024;

enum class VCardVersion { k30, k40 };

struct ParsedVCard {
    VCardVersion version = VCardVersion::k30;
    Contact contact;
    QByteArray lineEnd = "\r\n";
    std::vector<VCardRawLine> lines;
    qsizetype endLine = 0;  // the "END:VCARD" line
    // Per line: the field row (VCardContact.cpp) whose property it holds, or -1 when the
    // line is none of ours and stays as it is.
    std::vector<int> fieldRows;
    // A line of one of our properties whose value we could not take (a birthday without
    // a year): replaced only when the contact brings a value of its own.
    std::vector<bool> weak;
    // ORG components after the company (departments), escaped as written.
    QString orgUnits;
};

// False with the reason when the bytes are no card (too large, broken folding, no
// BEGIN/END frame, a line that is no property, a broken encoding of a value we read).
[[nodiscard]] bool ReadVCard(const QByteArray& bytes, ParsedVCard& card, QString& error);

// The card with the contact's properties in place of the old ones, in the card's version;
// every other line byte for byte.
QByteArray RewriteVCard(const ParsedVCard& card, const Contact& contact);

// A new vCard 3.0 card of the contact.
QByteArray NewVCard(const Contact& contact, const QString& uid);

}  // namespace corvane
