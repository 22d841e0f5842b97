#pragma once

// The system scheduler of a test: the crontab backend, its `crontab` command a script
// that keeps the table in a file of the test's folder, so that no test touches the
// user's real timers or crontab.

#include <QFile>

#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace corvane::test {

class RecordingCrontab {
  public:
    // The script and the table go into `folder`, which outlives this object.
    explicit RecordingCrontab(const QString& folder)
        : m_table(folder + "/crontab.table"), m_script(WriteScript(folder + "/crontab.sh")) {}
    // The table as the last write left it.
    QString Table() const { return QString::fromUtf8(ReadAll(m_table)); }

  private:
    static QString WriteScript(const QString& path) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(
                "#!/bin/sh\n"
                "table=\"$(dirname \"$0\")/crontab.table\"\n"
                "if [ \"$1\" = -l ]; then\n"
                "  [ -f \"$table\" ] && cat \"$table\"\n"
                "  exit 0\n"
                "fi\n"
                "cat > \"$table\"\n");
        }
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    QString m_table;
    QString m_script;
    ScopedEnv m_kind{"CORVANE_SCHEDULER", "cron"};
    ScopedEnv m_command{"CORVANE_CRONTAB", m_script.toUtf8()};
};

}  // namespace corvane::test
