// The jobs as systemd user timers: a .timer and a .service per task in the user's unit
// folder, enabled through `systemctl --user`.

#include <QDate>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include "log/Log.h"
#include "scheduler/ScheduleCalendar.h"
#include "scheduler/SchedulerBackend.h"
#include "scheduler/SchedulerCommand.h"
#include "scheduler/SystemdUnits.h"

namespace corvane {
namespace {

QString UnitFolder() {
    const QString forced = qEnvironmentVariable("CORVANE_SYSTEMD_UNIT_DIR");
    if (!forced.isEmpty()) {
        return forced;
    }
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/systemd/user");
}

CommandResult Systemctl(const QStringList& arguments) {
    return RunSchedulerCommand("CORVANE_SYSTEMCTL", QStringLiteral("systemctl"),
                               QStringList{QStringLiteral("--user")} + arguments);
}

bool WriteUnit(const QString& path, const QString& text) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0 && file.commit();
}

QString ReadUnit(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.read(64 * 1024)) : QString();
}

class SystemdBackend final : public SchedulerBackend {
  public:
    InstallResult Install(const TaskRecord& task, const QString& program) override {
        const QString folder = UnitFolder();
        const QString base = UnitBaseName(task.name);
        if (!QDir().mkpath(folder)) {
            return InstallResult::kNotCreated;
        }
        const QStringList calendars = ScheduleCalendars(task, QDate::currentDate());
        if (!WriteUnit(ServicePath(folder, base), ServiceUnitText(task.name, program)) ||
            !WriteUnit(TimerPath(folder, base),
                       TimerUnitText(task.name, calendars, ScheduleRuleText(task)))) {
            RemoveFiles(folder, base);
            return InstallResult::kNotCreated;
        }
        if (!Systemctl({QStringLiteral("daemon-reload")}).ok) {
            RemoveFiles(folder, base);
            return InstallResult::kUnreachable;
        }
        const CommandResult enabled = Systemctl(
            {QStringLiteral("enable"), QStringLiteral("--now"), base + QStringLiteral(".timer")});
        if (!enabled.ok) {
            Log("  Error: %s", enabled.err.trimmed().constData());
            Remove(task.name);
            return InstallResult::kNotCreated;
        }
        return InstallResult::kDone;
    }

    bool Remove(const QString& taskName) override {
        const QString folder = UnitFolder();
        const QString base = UnitBaseName(taskName);
        if (!QFile::exists(TimerPath(folder, base)) && !QFile::exists(ServicePath(folder, base))) {
            return true;
        }
        // The timer may already be stopped or unknown to the manager; what counts is that
        // its files are gone and the manager has forgotten it.
        (void)Systemctl(
            {QStringLiteral("disable"), QStringLiteral("--now"), base + QStringLiteral(".timer")});
        if (!RemoveFiles(folder, base)) {
            return false;
        }
        return Systemctl({QStringLiteral("daemon-reload")}).ok;
    }

    bool Has(const QString& taskName) override {
        return QFile::exists(TimerPath(UnitFolder(), UnitBaseName(taskName)));
    }

    std::vector<ScheduledJob> List() override {
        std::vector<ScheduledJob> jobs;
        const QDir folder(UnitFolder());
        for (const QString& file :
             folder.entryList({QStringLiteral("*.timer")}, QDir::Files, QDir::Name)) {
            const QString text = ReadUnit(folder.filePath(file));
            const QString taskName = TaskNameOfTimer(text);
            if (taskName.isEmpty() || UnitBaseName(taskName) + QStringLiteral(".timer") != file) {
                continue;  // not one of ours
            }
            const CommandResult next = Systemctl({QStringLiteral("show"), QStringLiteral("-p"),
                                                  QStringLiteral("NextElapseUSecRealtime"),
                                                  QStringLiteral("--value"), file});
            jobs.push_back({taskName, RuleOfTimer(text),
                            next.ok ? QString::fromUtf8(next.out).trimmed() : QString()});
        }
        return jobs;
    }

  private:
    static QString TimerPath(const QString& folder, const QString& base) {
        return folder + QLatin1Char('/') + base + QStringLiteral(".timer");
    }
    static QString ServicePath(const QString& folder, const QString& base) {
        return folder + QLatin1Char('/') + base + QStringLiteral(".service");
    }
    static bool RemoveFiles(const QString& folder, const QString& base) {
        // The link `enable` made; left behind it would point at nothing.
        QFile::remove(folder + QStringLiteral("/timers.target.wants/") + base +
                      QStringLiteral(".timer"));
        bool removed = true;
        for (const QString& path : {TimerPath(folder, base), ServicePath(folder, base)}) {
            if (QFile::exists(path) && !QFile::remove(path)) {
                Log("  Error: cannot remove %s", qUtf8Printable(path));
                removed = false;
            }
        }
        return removed;
    }
};

}  // namespace

std::unique_ptr<SchedulerBackend> MakeSystemdBackend() {
    return std::make_unique<SystemdBackend>();
}

}  // namespace corvane
