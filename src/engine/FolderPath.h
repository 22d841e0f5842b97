#pragma once

// Creation of a destination folder with all of its missing parents.
//
// Thread safety: keeps no state; may run on any thread.

#include <QByteArray>
#include <QString>
#include <functional>

namespace corvane {

// Creates every missing folder of `path` (a trailing "/" is allowed), parents first,
// with the default permissions (the umask applies). Answers true when the path is a
// folder afterwards, also when it existed before; false for an empty path or when a
// part of it could not be made (a file in the way, no permission). Logs nothing: the
// copy or archive step that needs the folder reports the failure.
bool CreateFolderPath(const QString& path);

// Runs `create` (which makes something at `target`, a path in the file system's
// encoding) and, when it failed because the folder of `target` is missing, makes that
// folder and runs it once more. Answers what the last run answered, errno set on failure.
bool CreateInFolderPath(const QByteArray& target, const std::function<bool()>& create);

}  // namespace corvane
