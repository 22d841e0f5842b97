#pragma once

// `corvane-cli reg`: the settings-key layer for scripts, without a task.
//   reg export KEY FILE   the key ("HKEY_CURRENT_USER\org\gnome") and everything below it
//                         as a REGEDIT4 file, as a backup stores it
//   reg import FILE       a REGEDIT4 file read back into the settings keys
// What the layer logs goes to `err`, then one "Error:" line with the reason.

#include <QStringList>
#include <cstdio>

namespace corvane {

// `args` are the words after "reg". 0 on success, 1 when the export or import failed,
// 2 for a usage error.
int RegistryCommand(const QStringList& args, std::FILE* err);

}  // namespace corvane
