#pragma once

// A temporary folder of a run: a new, empty folder under a unique name in "<data>/tmp/"
// (the data folder of platform/DataFolder.h), open to its owner only, for stages that
// write several named files at once (the cards of a contacts export). The object owns
// the folder and deletes it, with whatever it holds, when it dies.
//
// Belongs to the thread that made it.

#include <QString>

namespace corvane {

class RunTemporaryFolder {
  public:
    RunTemporaryFolder() = default;
    ~RunTemporaryFolder();  // deletes the folder and its files

    RunTemporaryFolder(const RunTemporaryFolder&) = delete;
    RunTemporaryFolder& operator=(const RunTemporaryFolder&) = delete;

    // Creates "<data>/tmp/<prefix>XXXXXX". False, with "  Error: cannot create a
    // temporary folder in %s", when it cannot be made.
    bool Create(const QString& prefix);

    // The folder's path (no trailing "/"); empty before Create.
    const QString& Path() const { return m_path; }

  private:
    QString m_path;
};

}  // namespace corvane
