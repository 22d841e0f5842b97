#pragma once

// The "copy as is" of a symbolic link: the link is made again at the destination with
// the same text, never followed on either side.
//
// Thread safety: keeps no state; runs on the worker thread of a run (or any one thread).

#include <QString>

namespace corvane {

// Makes `destination` a link holding the same text as the link `source`, with the
// source link's own times. A destination link of the same text is unchanged and left as
// it is. Anything else there (a file, a link elsewhere) is replaced atomically: the new
// link is made under a temporary name beside it and renamed over it, so the destination
// never lacks an entry. A folder in the way is not replaced. On failure `reason` says
// why and the destination is as it was.
bool CopyLink(const QString& source, const QString& destination, QString& reason);

}  // namespace corvane
