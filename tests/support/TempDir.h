#pragma once

// Test helpers shared by every test executable.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <ostream>

// Readable QStrings in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '{';
    for (const QString& text : list) {
        *os << " \"" << text.toStdString() << '"';
    }
    *os << " }";
}

namespace corvane::test {

// A fresh folder for one test, removed with the object.
class TempDir {
  public:
    TempDir();
    const QString& Path() const { return m_path; }
    // Path of a name inside the folder.
    QString File(const QString& name) const;
    // Writes bytes to a file inside the folder (creating parent folders) and returns
    // its path.
    QString Write(const QString& name, const QByteArray& bytes) const;

  private:
    QTemporaryDir m_dir;
    QString m_path;
};

// The folder of the test fixtures (tests/fixtures).
QString FixturePath(const QString& name);

// The whole content of a file; empty when it cannot be read.
QByteArray ReadAll(const QString& path);

}  // namespace corvane::test
