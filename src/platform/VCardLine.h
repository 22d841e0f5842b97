#pragma once

// The line syntax of vCard 3.0 and 4.0 files (and the 2.1 habits that linger in them):
// folded lines, "group.NAME;param=value:value" content lines, quoted-printable and base64
// values, and the backslash escapes of text values. Pure functions on bytes; nothing here
// knows which property means what.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace corvane {

// One logical line of a card: the bytes exactly as the file holds them (folding and line
// end included, so a line we keep is written back unchanged) and the unfolded content.
struct VCardRawLine {
    QByteArray bytes;
    QByteArray content;
};

struct VCardParameter {
    QByteArray name;   // upper case; "TYPE" for a bare 2.1 parameter such as ";WORK"
    QByteArray value;  // quotes removed
};

struct VCardProperty {
    QByteArray name;  // upper case, the group left off
    std::vector<VCardParameter> parameters;
    QByteArray value;  // everything after the first colon outside quotes

    // The value of the first parameter of that (upper-case) name; empty when none.
    QByteArray Parameter(const char* name) const;
    // Every TYPE value in lower case: comma lists split, repeated parameters joined.
    QStringList Types() const;
    // Marked preferred: TYPE=PREF (3.0) or a PREF parameter (4.0).
    bool IsPreferred() const;
};

// Splits a card's bytes into logical lines. False with the reason when a continuation line
// has nothing to continue.
[[nodiscard]] bool SplitVCardLines(const QByteArray& bytes, std::vector<VCardRawLine>& lines,
                                   QString& error);

// Parses one unfolded content line; false when it is none (no name, no colon).
[[nodiscard]] bool ParseVCardProperty(const QByteArray& content, VCardProperty& property);

// The value as text: transfer encoding undone (quoted-printable, base64) and the charset
// decoded (UTF-8 unless named; bad bytes become U+FFFD). Escapes are left in place. False
// with the reason when the transfer encoding is broken.
[[nodiscard]] bool DecodeVCardValue(const VCardProperty& property, QString& text, QString& error);

// The components of a structured value split at unescaped ';', each unescaped.
QStringList SplitVCardComponents(const QString& value);
QString UnescapeVCardText(const QString& text);
QString EscapeVCardText(const QString& text);

// A content line folded at 75 octets (never inside a UTF-8 sequence), each physical line
// ended with `lineEnd`.
QByteArray FoldVCardLine(const QByteArray& content, const QByteArray& lineEnd);

}  // namespace corvane
