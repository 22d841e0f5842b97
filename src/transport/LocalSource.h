#pragma once

// The local file an upload sends, opened by the exact bytes of its name.

#include <QByteArray>
#include <QString>

#include "io/DescriptorIo.h"

namespace corvane {

// Opens the regular file `path` for reading and tells its size. A FIFO or device that
// took the file's place is refused without blocking the run. False with the reason
// ("cannot open the local file: ...", "the local file is no regular file").
[[nodiscard]] bool OpenLocalSource(const QByteArray& path, FileDescriptor& file, qint64& size,
                                   QString& whyNot);

}  // namespace corvane
