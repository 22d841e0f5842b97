#pragma once

// The text of a ZIP entry name from the bytes an archive stores.
//
// The bytes carry no encoding of their own. General-purpose flag bit 11 says UTF-8. A
// name made on Unix (host id 3) without the flag is the file name's own bytes, as a Linux
// `zip` stores them. Both are kept byte for byte through FileNameFromBytes (model/
// FileName.h), so bytes that are not valid UTF-8 come back as the same bytes, never as
// U+FFFD. Other hosts without the flag: an Info-ZIP "Unicode Path" extra field (0x7075)
// may hold a UTF-8 copy of the name; otherwise the old rule is code page 437 (what DOS
// and Windows tools wrote); OS X tools store UTF-8.
//
// Thread safety: pure functions.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace corvane {

// The bytes decoded as code page 437 (IBM PC, "OEM United States"): 0x00..0x7F as ASCII,
// 0x80..0xFF as the code page's letters, symbols and box-drawing characters.
QString Cp437ToString(const QByteArray& bytes);

// The name of an entry as text, with every "\" turned into "/". `flags` is the general-
// purpose bit flag, `versionMadeBy` the "version made by" field (host id in the high
// byte) and `extraField` the entry's extra field from the central directory (may be
// empty).
QString ZipEntryNameText(const QByteArray& rawName, quint32 flags, quint32 versionMadeBy,
                         const QByteArray& extraField);

}  // namespace corvane
