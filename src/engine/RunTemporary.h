#pragma once

// A temporary file of a run: a new, empty file under a unique name in "<data>/tmp/"
// (the data folder of platform/DataFolder.h), readable and writable by its owner only.
// The object owns the file and deletes it when it dies, so no path through a run, its
// failures included, leaves the file behind. Two runs never share a name.
//
// Belongs to the thread that made it; nothing is shared between objects.

#include <QString>

namespace corvane {

class RunTemporary {
  public:
    RunTemporary() = default;
    ~RunTemporary();  // deletes the file

    RunTemporary(const RunTemporary&) = delete;
    RunTemporary& operator=(const RunTemporary&) = delete;

    // Creates "<data>/tmp/<prefix>XXXXXX" (letters and digits for the X; the folder is
    // made when missing). A file made before by this object is deleted first. False,
    // with "  Error: cannot create a temporary file in %s", when the file cannot be made.
    bool Create(const QString& prefix);

    // The file's path; empty before Create and after Remove.
    const QString& Path() const { return m_path; }

    // Deletes the file now (nothing when there is none).
    void Remove();

  private:
    QString m_path;
};

}  // namespace corvane
