#pragma once

// File names are bytes on Linux; the program carries paths as QString. A name that is
// valid UTF-8 decodes as usual. A byte that is not part of a valid UTF-8 sequence becomes
// the lone surrogate U+DC80..U+DCFF (the "surrogate escape" that Python uses for the same
// job), so every byte string survives the round trip
//
//     FileNameToBytes(FileNameFromBytes(bytes)) == bytes
//
// and two different names never decode to the same text. QString functions that encode
// to UTF-8 (`toUtf8`, `QFile::encodeName`, `qUtf8Printable`) turn such a surrogate into
// U+FFFD: every path that reaches the file system goes through FileNameToBytes, and every
// name that a person reads goes through FileNameForDisplay.
//
// Thread safety: pure functions.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace corvane {

// The name as text: UTF-8 decoded, each stray byte escaped as U+DC00 + byte.
QString FileNameFromBytes(QByteArrayView bytes);

// The exact bytes of a name made by FileNameFromBytes (or any ordinary text).
QByteArray FileNameToBytes(QStringView name);

// True when the name holds an escaped byte, i.e. its bytes are not valid UTF-8.
bool FileNameIsRaw(QStringView name);

// The name as a person reads it: each escaped byte shown as "\xNN" (upper-case hex),
// everything else unchanged.
QString FileNameForDisplay(QStringView name);

}  // namespace corvane
