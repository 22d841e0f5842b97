#pragma once

// Renders the lines of a REGEDIT4 file (doc/formats/regedit4.md) from registry records.
// Pure functions: they read nothing and write nothing; any thread may call them.

#include <QByteArray>
#include <QString>
#include <optional>

#include "platform/Registry.h"

namespace corvane {

// "REGEDIT4", CR LF and the empty line after it.
QByteArray RegFileHeader();

// "[HIVE\subKey]" CR LF. Nullopt, with the reason in `problem`, when a reader could not
// take the line back: the path holds a line break or the line is too long.
std::optional<QByteArray> RenderRegKeyLine(RegistryHive hive, const QString& subKey,
                                           QString* problem = nullptr);

// The value's line, with its continuation lines, ended by CR LF. Nullopt when the format
// leaves the value out: `problem` stays empty for a type the format has no form for, and
// names the reason for a value a reader could not take back (a line break in the name or
// the text, a line that is too long, a double word that is not four bytes).
std::optional<QByteArray> RenderRegValueLine(const RegistryValue& value,
                                             QString* problem = nullptr);

}  // namespace corvane
