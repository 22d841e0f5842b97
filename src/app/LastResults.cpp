#include "app/LastResults.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QFile>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "io/DescriptorIo.h"
#include "io/ReplacingFile.h"
#include "log/Log.h"
#include "model/FileName.h"

namespace corvane {
namespace {

// One line per task: OID, result, end, last run that stored anything, first end; tab
// separated, times in ISO 8601 UTC, an empty field for an invalid time.
const QString kFileName = QStringLiteral("/CorvResults.txt");
const QString kLockName = QStringLiteral("/CorvResults.lock");
constexpr int kFieldCount = 5;

const std::array<QString, 4> kResultNames = {QStringLiteral("done"),
                                             QStringLiteral("nothing to do"),
                                             QStringLiteral("failed"), QStringLiteral("stopped")};

QString TimeField(const QDateTime& time) {
    return time.isValid() ? time.toUTC().toString(Qt::ISODate) : QString();
}

QDateTime ParseTime(const QString& field) {
    return field.isEmpty() ? QDateTime() : QDateTime::fromString(field, Qt::ISODate);
}

// Holds the update lock while it lives; the system drops it when the process ends.
class UpdateLock {
  public:
    explicit UpdateLock(const QString& dataFolder) {
        const QByteArray path = QFile::encodeName(dataFolder + kLockName);
        m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        // Another process holds it only while it rewrites a small file.
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~UpdateLock() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    UpdateLock(const UpdateLock&) = delete;
    UpdateLock& operator=(const UpdateLock&) = delete;
    bool Held() const { return m_fd >= 0; }

  private:
    int m_fd = -1;
};

}  // namespace

QString RunResultText(RunResult result) {
    return kResultNames.at(static_cast<size_t>(result));
}

std::map<qint32, LastRunResult> ReadLastResults(const QString& dataFolder) {
    std::map<qint32, LastRunResult> results;
    QFile file(dataFolder + kFileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return results;
    }
    while (!file.atEnd()) {
        QString line = QString::fromUtf8(file.readLine());
        if (line.endsWith(QLatin1Char('\n'))) {
            line.chop(1);
        }
        const QStringList fields = line.split(QLatin1Char('\t'));
        bool ok = false;
        const qint32 oid = fields.value(0).toInt(&ok);
        const auto name = std::find(kResultNames.begin(), kResultNames.end(), fields.value(1));
        if (fields.size() != kFieldCount || !ok || name == kResultNames.end()) {
            continue;
        }
        results[oid] = {static_cast<RunResult>(name - kResultNames.begin()),
                        ParseTime(fields.at(2)), ParseTime(fields.at(3)), ParseTime(fields.at(4))};
    }
    return results;
}

bool RecordLastResult(const QString& dataFolder, qint32 oid, RunResult result,
                      const QDateTime& ended, LastRunResult* previous) {
    const UpdateLock lock(dataFolder);
    if (!lock.Held()) {
        Log("  Error: cannot lock file %s", qUtf8Printable(dataFolder + kLockName));
        return false;
    }
    std::map<qint32, LastRunResult> results = ReadLastResults(dataFolder);
    const auto found = results.find(oid);
    const LastRunResult before = found != results.end() ? found->second : LastRunResult{};
    if (previous != nullptr) {
        *previous = before;
    }
    LastRunResult& entry = results[oid];
    entry.result = result;
    entry.ended = ended;
    entry.lastDone = result == RunResult::kDone ? ended : before.lastDone;
    entry.firstEnded = before.firstEnded.isValid() ? before.firstEnded : ended;

    QByteArray content;
    for (const auto& [key, value] : results) {
        const QStringList fields = {QString::number(key), RunResultText(value.result),
                                    TimeField(value.ended), TimeField(value.lastDone),
                                    TimeField(value.firstEnded)};
        content += (fields.join(QLatin1Char('\t')) + QLatin1Char('\n')).toUtf8();
    }
    // Replaced only when the new content is whole on the disk: a full disk keeps the
    // results there were.
    const QString path = dataFolder + kFileName;
    ReplacingFile file;
    if (!file.Create(AT_FDCWD, FileNameToBytes(path), 0644) ||
        !WriteAll(file.Fd(), content.constData(), size_t(content.size())) ||
        !file.Commit(ReplacingFile::Sync::kYes)) {
        const int error = errno;
        file.Discard();
        Log("  Error: cannot write file %s: %s", qUtf8Printable(FileNameForDisplay(path)),
            std::strerror(error));
        return false;
    }
    return true;
}

}  // namespace corvane
