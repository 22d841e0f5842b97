#pragma once

// The structured values of a vCard 2.1 file (names, addresses): parts joined with ";"
// and split at every ";" that is not escaped. Each part is escaped and read back as any
// vCard text is (platform/VCardLine.h): a line break becomes "\n", and "\", ";" and ","
// are preceded by "\" (readers that split text lists at "," would otherwise cut a value
// there).
//
// Thread safety: pure functions.

#include <QString>
#include <QStringList>

namespace corvane {

// The escaped parts of `values` joined with ";", empty parts at the end left out.
QString JoinVCardParts(const QStringList& values);

// A structured value split at every ";" that is not escaped, each part read back: exactly
// `count` parts, the missing ones empty, those beyond `count` ignored.
QStringList SplitVCardParts(const QString& escaped, qsizetype count);

}  // namespace corvane
