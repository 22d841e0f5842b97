#include "app/RunEndReport.h"

#include <QLocale>
#include <algorithm>

#include "platform/DesktopNotice.h"
#include "platform/UserSettings.h"

namespace corvane {
namespace {

constexpr qint64 kSecondsPerDay = 24 * 60 * 60;

bool ExportsEveryRun(const TaskRecord& task) {
    return std::any_of(task.items.begin(), task.items.end(), [](const SourceItem& item) {
        return item.kind == kItemAllContacts || item.kind == kItemContact ||
               item.kind == kItemRegistryKey;
    });
}

QString TimeText(const QDateTime& time) {
    return QLocale().toString(time.toLocalTime(), QLocale::ShortFormat);
}

// The notice a run needs; an empty summary when none. `before` is the task's entry
// before this run.
void NoticeFor(const TaskRecord& task, RunResult result, const QDateTime& ended,
               const LastRunResult& before, QString& summary, QString& body) {
    if (result == RunResult::kFailed) {
        summary = QStringLiteral("Backup task '%1' failed").arg(task.name);
        body = QStringLiteral("The run of '%1' that ended %2 failed. The Corvane log tells why.")
                   .arg(task.name, TimeText(ended));
        return;
    }
    const int days = UserSettings::IdleNoticeDays();
    if (result != RunResult::kNothingToDo || days == 0) {
        return;
    }
    // A task that never stored anything counts from its first recorded run.
    const QDateTime since = before.lastDone.isValid()     ? before.lastDone
                            : before.firstEnded.isValid() ? before.firstEnded
                                                          : ended;
    if (since.secsTo(ended) < days * kSecondsPerDay) {
        return;
    }
    summary = QStringLiteral("Backup task '%1' found nothing to do").arg(task.name);
    body = before.lastDone.isValid()
               ? QStringLiteral("'%1' has found no new or changed file since %2.")
                     .arg(task.name, TimeText(before.lastDone))
               : QStringLiteral("'%1' has found no file to back up since %2.")
                     .arg(task.name, TimeText(since));
}

}  // namespace

RunResult ClassifyRun(const TaskRecord& task, bool succeeded, bool stopped,
                      std::int64_t storedFiles) {
    if (stopped) {
        return RunResult::kStopped;
    }
    if (!succeeded) {
        return RunResult::kFailed;
    }
    return storedFiles > 0 || ExportsEveryRun(task) ? RunResult::kDone : RunResult::kNothingToDo;
}

void ReportRunEnd(const QString& dataFolder, const TaskRecord& task, RunResult result,
                  const QDateTime& ended) {
    LastRunResult before;
    // A result that cannot be kept has logged why; the notice still goes out.
    (void)RecordLastResult(dataFolder, task.oid, result, ended, &before);
    QString summary;
    QString body;
    NoticeFor(task, result, ended, before, summary, body);
    if (!summary.isEmpty()) {
        ShowDesktopNotice(summary, body);
    }
}

}  // namespace corvane
