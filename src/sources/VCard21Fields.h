#pragma once

// The lines of a vCard 2.1 file after "N:" and "FN:", in the order they are written, and
// the contact property each carries. The writer and the reader share this one table, so a
// line added here is both written and read back.
//
// Thread safety: constant data and pure functions.

#include <QDate>
#include <QString>
#include <QStringList>
#include <span>

#include "platform/Contact.h"

namespace corvane {

struct VCard21Field {
    enum class Kind { kText, kEmail, kDate, kAddress, kGender };

    const char* tag;  // the start of the line up to and with its colon
    Kind kind;
    QString Contact::*text = nullptr;
    int email = 0;  // index into Contact::emails
    QDate Contact::*date = nullptr;
    ContactAddress Contact::*address = nullptr;
};

std::span<const VCard21Field> VCard21Fields();

// The seven parts of an address in vCard order (post office box first, country last).
QStringList AddressParts(const ContactAddress& address);
ContactAddress AddressFromParts(const QStringList& parts);
inline constexpr qsizetype kAddressPartCount = 7;

// The five parts of "N:": last, first, middle name, title, suffix.
QStringList NameParts(const Contact& contact);
void SetNameParts(Contact& contact, const QStringList& parts);
inline constexpr qsizetype kNamePartCount = 5;

}  // namespace corvane
