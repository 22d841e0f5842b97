// The jobs as lines of the user's crontab, each under a marker comment naming its work
// item. Every other line of the crontab is written back byte for byte.

#include <QByteArrayList>

#include "log/Log.h"
#include "scheduler/ScheduleCalendar.h"
#include "scheduler/SchedulerBackend.h"
#include "scheduler/SchedulerCommand.h"

namespace corvane {
namespace {

const QByteArray kMarker = "# Corvane: ";

CommandResult Crontab(const QStringList& arguments, const QByteArray& input = {}) {
    return RunSchedulerCommand("CORVANE_CRONTAB", QStringLiteral("crontab"), arguments, input);
}

QByteArray MarkerLine(const QString& taskName) {
    return kMarker + WorkItemName(taskName).toUtf8();
}

// One word for /bin/sh in single quotes; cron itself turns an unescaped "%" into a
// newline, so "%" is written "\%" (cron drops the backslash).
QByteArray ShellWord(const QString& word) {
    QByteArray quoted = "'";
    for (const char c : word.toUtf8()) {
        if (c == '\'') {
            quoted += "'\\''";
        } else if (c == '%') {
            quoted += "\\%";
        } else {
            quoted += c;
        }
    }
    return quoted + '\'';
}

// The crontab as lines; false when it cannot be read. No crontab yet is an empty one.
bool ReadCrontab(QByteArrayList& lines) {
    const CommandResult listed = Crontab({QStringLiteral("-l")});
    if (!listed.ok) {
        if (listed.err.contains("no crontab")) {
            lines.clear();
            return true;
        }
        return false;
    }
    lines = listed.out.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();  // the final newline
    }
    return true;
}

bool WriteCrontab(const QByteArrayList& lines) {
    QByteArray text = lines.join('\n');
    if (!lines.isEmpty()) {
        text += '\n';
    }
    return Crontab({QStringLiteral("-")}, text).ok;
}

// Removes the marker of the task and the job line under it; true when there was one.
bool RemoveJobLines(QByteArrayList& lines, const QString& taskName) {
    const qsizetype at = lines.indexOf(MarkerLine(taskName));
    if (at < 0) {
        return false;
    }
    lines.remove(at, at + 1 < lines.size() ? 2 : 1);
    return true;
}

class CronBackend final : public SchedulerBackend {
  public:
    CronBackend() {
        static bool warned = false;
        if (!warned) {
            warned = true;
            Log("  Warning: the system scheduler is cron here: runs missed while the computer is "
                "off are not caught up");
        }
    }

    InstallResult Install(const TaskRecord& task, const QString& program) override {
        QByteArrayList lines;
        if (!ReadCrontab(lines)) {
            return InstallResult::kUnreachable;
        }
        RemoveJobLines(lines, task.name);
        lines.append(MarkerLine(task.name));
        lines.append(ScheduleCronFields(task).toUtf8() + ' ' + ShellWord(program) + ' ' +
                     ShellWord(QLatin1Char('/') + task.name));
        return WriteCrontab(lines) ? InstallResult::kDone : InstallResult::kNotCreated;
    }

    bool Remove(const QString& taskName) override {
        QByteArrayList lines;
        if (!ReadCrontab(lines)) {
            return false;
        }
        return !RemoveJobLines(lines, taskName) || WriteCrontab(lines);
    }

    bool Has(const QString& taskName) override {
        QByteArrayList lines;
        return ReadCrontab(lines) && lines.contains(MarkerLine(taskName));
    }

    std::vector<ScheduledJob> List() override {
        static const QByteArray prefix =
            MarkerLine(QString()).chopped(QByteArray(" from Corvane").size());
        QByteArrayList lines;
        std::vector<ScheduledJob> jobs;
        if (!ReadCrontab(lines)) {
            return jobs;
        }
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            if (!lines[i].startsWith(prefix) || !lines[i].endsWith(" from Corvane")) {
                continue;
            }
            const QByteArray name = lines[i].mid(prefix.size()).chopped(13);
            const QList<QByteArray> fields = lines[i + 1].simplified().split(' ').mid(0, 5);
            // Cron does not tell when a line runs next: it is worked out from the fields.
            const QString timeFields = QString::fromUtf8(fields.join(' '));
            const QDateTime next = NextCronRun(timeFields, QDateTime::currentDateTime());
            jobs.push_back(
                {QString::fromUtf8(name), CronFieldsRuleText(timeFields),
                 next.isValid() ? next.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString()});
        }
        return jobs;
    }
};

}  // namespace

std::unique_ptr<SchedulerBackend> MakeCronBackend() {
    return std::make_unique<CronBackend>();
}

}  // namespace corvane
