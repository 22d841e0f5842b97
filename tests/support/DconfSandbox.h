#pragma once

// A dconf database of the test's own: XDG_CONFIG_HOME and XDG_RUNTIME_DIR point into a
// fresh folder and a private session bus runs for the dconf service, so nothing a test
// writes reaches the user's real settings. One per test process, made before the first
// dconf access (glib reads the folders once) and kept until the process ends: the bus
// and the folder are removed by a watcher once the process is gone, because glib ends a
// process whose session bus goes away.
//
// The helpers run the real `dconf` tool (Debian dconf-cli), the independent reader and
// writer the tests compare with.

#include <QString>

namespace corvane::test {

class DconfSandbox {
  public:
    // The process's sandbox, started on first use. A missing tool fails the test that
    // asked, naming its package.
    static DconfSandbox& Get();

    bool IsRunning() const { return !m_busAddress.isEmpty(); }
    // The reason the sandbox could not start (empty when it runs).
    const QString& Problem() const { return m_problem; }

    // `dconf write KEY VALUE` (VALUE is GVariant text); true when it succeeded.
    bool Write(const QString& key, const QString& gvariantText) const;
    // `dconf dump DIR` ("/a/b/").
    QString Dump(const QString& dir) const;
    // `dconf reset -f DIR`: removes every value below the folder.
    bool Reset(const QString& dir) const;

  private:
    DconfSandbox();

    QString m_folder;
    QString m_busAddress;
    QString m_problem;
};

}  // namespace corvane::test
