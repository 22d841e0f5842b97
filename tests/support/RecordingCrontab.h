#pragma once

// The system scheduler of a test: cron, its `crontab` command a script keeping the table
// in `folder`, so that no test reaches the user's own timers or crontab.

#include <QFile>

#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace corvane::test {

class RecordingCrontab {
  public:
    explicit RecordingCrontab(const QString& folder) : m_folder(folder) {
        QFile script(m_folder + "/crontab.sh");
        if (script.open(QIODevice::WriteOnly)) {
            script.write(
                "#!/bin/sh\nt=\"${0%/*}/crontab.table\"\n"
                "[ \"$1\" = -l ] && { cat \"$t\" 2>/dev/null; exit 0; }\ncat > \"$t\"\n");
        }
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString Table() const { return QString::fromUtf8(ReadAll(m_folder + "/crontab.table")); }

  private:
    QString m_folder;
    ScopedEnv m_kind{"CORVANE_SCHEDULER", "cron"};
    ScopedEnv m_command{"CORVANE_CRONTAB", (m_folder + "/crontab.sh").toUtf8()};
};

}  // namespace corvane::test
