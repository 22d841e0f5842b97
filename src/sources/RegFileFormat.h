#pragma once

// The fixed words and limits of a REGEDIT4 file that its writer and its reader share
// (doc/formats/regedit4.md gives the bytes).

#include <QtGlobal>

namespace corvane {

// The first line of every file.
inline constexpr char kRegFileFirstLine[] = "REGEDIT4";
// Every line ends with these two bytes.
inline constexpr char kRegLineEnd[] = "\r\n";
// The longest line a reader takes, CR bytes not counted; a longer one ends the reading.
inline constexpr qsizetype kRegMaxLineLength = 4096;
// Bytes of a byte list on every line after the first, which carries one more.
inline constexpr qsizetype kRegBytesPerLine = 24;
// What begins a continuation line of a byte list.
inline constexpr char kRegContinuationIndent[] = "  ";
// The longest hive name and type word a reader looks for.
inline constexpr qsizetype kRegMaxHiveNameLength = 29;
inline constexpr qsizetype kRegMaxTypeWordLength = 20;

}  // namespace corvane
