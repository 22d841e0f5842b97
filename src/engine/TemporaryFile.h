#pragma once

// Writing a file that replaces another only when it is complete: the new content goes
// to a temporary file beside the target, which is renamed over the target at the end.

#include <QByteArray>
#include <QByteArrayView>

namespace corvane {

// Owns a file descriptor and closes it.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() { Close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    // Closes now and answers whether the system accepted the close (a delayed write
    // error of a network file system shows here).
    bool Close();

  private:
    int m_fd;
};

// A name for a temporary beside the file `name` (a bare name in the file system's
// encoding): ".<name>.corvane-XXXXXX" with six random letters, the name shortened at a
// character boundary so the result stays a legal file name.
QByteArray TemporaryNameFor(const QByteArray& name);

// True for a name made by TemporaryNameFor: a write that was cut off (a crash, a kill)
// leaves such a file behind, and it is never part of a stored copy.
bool IsTemporaryName(QByteArrayView name);

// Creates a new file beside `target` (a path in the file system's encoding) under a
// name no other file has: ".<name>.corvane-XXXXXX" in the target's folder, the name
// shortened at a character boundary so the result stays a legal file name. The
// permissions are the usual ones of a new file (0666 less the umask). Answers the
// descriptor and sets `tempPath`, or answers -1 with errno set.
int CreateTempBeside(const QByteArray& target, QByteArray& tempPath);

// Creates a symbolic link holding `linkText` beside `target`, under a new name made as
// by CreateTempBeside. Answers false with errno set when no link could be made.
bool CreateLinkBeside(const QByteArray& linkText, const QByteArray& target, QByteArray& tempPath);

// Writes every byte (repeating short writes); false with errno set when a write fails.
bool WriteAll(int fd, const char* data, size_t size);

}  // namespace corvane
