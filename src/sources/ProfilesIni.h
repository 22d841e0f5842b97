#pragma once

// The default profile of a Mozilla program (the web browser, the mail program) from the
// "profiles.ini" in its folder. An "[Install...]" section's "Default=" names the profile
// the installed program starts with and comes first; without one, the "[Profile...]"
// section with "Default=1" counts. A profile path is relative to the folder of the file
// when its section says "IsRelative=1", else absolute.
//
// Thread safety: reads the file only.

#include <QString>

namespace corvane {

// The default profile's folder, or empty when the file names none (or cannot be read).
// The folder itself is not checked.
QString DefaultProfileFolder(const QString& iniPath);

}  // namespace corvane
