#pragma once

// The text of one vCard value. A value is escaped so that it never breaks its line or its
// parts: a line break becomes "\n", and "\", ";" and "," are preceded by "\" (readers that
// split text lists at "," would otherwise cut the value there). Reading undoes exactly
// that, and keeps a "\" before any other character as it stands.
//
// Thread safety: pure functions.

#include <QString>
#include <QStringList>
#include <QStringView>

namespace corvane {

// The value escaped for a line. CR LF and a lone CR are line breaks like LF.
QString EscapeVCardValue(QStringView value);

// The escaped value read back.
QString UnescapeVCardValue(QStringView escaped);

// The escaped parts of `values` joined with ";", empty parts at the end left out.
QString JoinVCardParts(const QStringList& values);

// A structured value split at every ";" that is not escaped, each part read back: exactly
// `count` parts, the missing ones empty, those beyond `count` ignored.
QStringList SplitVCardParts(QStringView escaped, qsizetype count);

}  // namespace corvane
