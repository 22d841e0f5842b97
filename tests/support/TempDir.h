#pragma once

// Test helpers shared by every test executable.

#include <QString>
#include <QTemporaryDir>

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
