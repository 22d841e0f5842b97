#pragma once

// The local ends of remote transfers: the file an upload sends and the file a download
// fills, both reached by the exact bytes of their names.

#include <QByteArray>
#include <QString>
#include <QStringView>

#include "io/DescriptorIo.h"
#include "io/ReplacingFile.h"

namespace corvane {

// Opens the regular file `path` for reading and tells its size. A FIFO or device that
// took the file's place is refused without blocking the run. False with the reason
// ("cannot open the local file: ...", "the local file is no regular file").
[[nodiscard]] bool OpenLocalSource(const QByteArray& path, FileDescriptor& file, qint64& size,
                                   QString& whyNot);

// A reason with the system's text of errno: "<what>: <strerror>".
QString LocalError(const char* what);

// The local file a download fills: a temporary beside `path` (relative to the current
// folder unless absolute) that replaces the file only on Commit, so a failed download
// leaves an existing file as it was. A replaced file keeps its permissions.
class DownloadTarget {
  public:
    // False with the reason ("cannot create the local file: ...").
    [[nodiscard]] bool Create(const QString& path, QByteArray (*encodeName)(QStringView),
                              QString& whyNot);
    int Fd() const { return m_file.Fd(); }
    // False with the reason ("cannot replace the local file: ...").
    [[nodiscard]] bool Commit(QString& whyNot);

  private:
    ReplacingFile m_file;
    QByteArray m_name;
};

}  // namespace corvane
