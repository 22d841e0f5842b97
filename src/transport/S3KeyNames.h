#pragma once

// Object keys are UTF-8 text, file names here are bytes: a name carries each byte that
// is not part of valid UTF-8 as U+DC80..U+DCFF (model/FileName.h), which UTF-8 cannot
// hold, so "a\xE9" and "a\xE8" would both become "a\uFFFD" and one file would overwrite
// the other in the bucket. A key holds such a byte as U+EF80..U+EFFF (private use)
// instead, and a name's own U+EF00 or U+EF80..U+EFFF as U+EF00 followed by it. Every
// name has its own key and every key gives its name back; a name without those
// characters (nearly every name) is its own key.
//
// Pure functions; any thread may call them.

#include <QString>
#include <QStringView>

namespace corvane {

// The key text of a name (or of a path of names: "/" is kept).
QString S3KeyOfName(QStringView name);

// The name of a key text made by S3KeyOfName, or of any key: a key from another tool
// reads as its text, apart from the characters above.
QString S3NameOfKey(QStringView key);

}  // namespace corvane
