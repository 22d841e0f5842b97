#pragma once

// The vCard 2.1 files of a backup: one "<display text>.vcf" per contact, written line by
// line in a fixed order, and read back into a Contact for the restore.

#include <QByteArray>
#include <QString>

#include "platform/Contact.h"

namespace corvane {

// The card's text ("BEGIN:VCARD\nVERSION:2.1\n" ... "END:VCARD\n").
QByteArray VCard21Text(const Contact& contact);

// Writes the card into `filePath` (made new, replacing one that exists; nothing is left
// behind on failure). Logs "  Get contact data <%s>..." with the display text first.
bool WriteVCard21(const Contact& contact, const QString& filePath);

// Reads a card written by VCard21Text (or by another program in that version) into
// `contact`. Logs "  Error: cannot access file '%s'" or "  Warning: file '%s' is empty,
// nothing to restore" and answers false when there is nothing to read.
bool ReadVCard21(const QString& filePath, Contact& contact);

// A file name made of the display text that stays inside its folder: no "/", no NUL,
// never "." or "..", at most 255 bytes with ".vcf".
QString ContactFileName(const Contact& contact);

}  // namespace corvane
