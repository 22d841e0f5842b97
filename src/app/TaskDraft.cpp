#include "app/TaskDraft.h"

#include <QDir>
#include <algorithm>

#include "engine/FileFilter.h"
#include "model/DatePattern.h"
#include "transport/FtpAddress.h"

namespace corvane {
namespace {

const QString kWarning = QStringLiteral("Warning");

bool Refuse(DraftProblem* problem, const char* message, const QString& title, DraftField field,
            TaskPage page) {
    if (problem != nullptr) {
        *problem = DraftProblem{QString::fromUtf8(message), title, field, page};
    }
    return false;
}

// The bit of the week-day mask for the box at `index` (Monday first): Sunday is bit 0.
quint16 WeekDayBit(int index) {
    return static_cast<quint16>(index == 6 ? 1 : 1 << (index + 1));
}

// A filter as stored: trimmed, and the list's "everything" entry empty.
QString StoredFilter(const QString& typed, const QStringList& presets) {
    const QString filter = typed.trimmed();
    return filter == presets.front() ? QString() : filter;
}

}  // namespace

TaskRecord NewTaskDraft(const QString& defaultDestination, const CalendarTime& now) {
    TaskRecord task;
    task.taskType = kTaskBackup;
    task.destination.path = defaultDestination;
    task.destination.type = DestinationIsFtp(defaultDestination) ? kDestFtp : kDestFolder;
    // The page starts with the burner box clear and the port field empty.
    task.destination.useXPBurn = false;
    task.destination.ftpPort = 0;
    task.backupMode = kMethodCopy;
    task.compressionLevel = 9;
    task.archiveCipher = kCipherAes256;
    task.scheduleMode = kScheduleNone;
    task.schedulePattern = static_cast<quint16>(1 << (now.dayOfWeek % 7));
    task.scheduleDay = now.day;
    task.scheduleStart = RoundedRunTime(now);
    return task;
}

bool CheckSourcePage(const TaskRecord& task, DraftProblem* problem) {
    if (task.name.isEmpty()) {
        return Refuse(problem, "Task name cannot be empty", QString(), DraftField::kTaskName,
                      kPageSource);
    }
    if (task.items.empty()) {
        return Refuse(problem, "You must add at least one item", QString(), DraftField::kSourceTree,
                      kPageSource);
    }
    return true;
}

DestinationInput DestinationInputOf(const TaskRecord& task) {
    DestinationInput input;
    input.path = task.destination.path;
    input.user = task.destination.userName;
    input.password = task.destination.password;
    input.port =
        task.destination.ftpPort == 0 ? QString() : QString::number(task.destination.ftpPort);
    input.certificatePin = task.destination.certificatePin;
    input.useBurner = task.destination.useXPBurn;
    input.keepLast = task.keepLast;
    input.serviceUrl = task.destination.serviceUrl;
    input.region = task.destination.region;
    return input;
}

bool OffersKeepLast(const TaskRecord& task, const QString& path) {
    TaskRecord withPath = task;
    withPath.destination.path = path;
    return IsDatedTask(withPath);
}

bool DestinationIsFtp(const QString& text) {
    const QString trimmed = text.trimmed();
    return trimmed.startsWith(QLatin1String("ftp:"), Qt::CaseInsensitive) || IsFtpAddress(trimmed);
}

namespace {

// The page and the sheet refuse a pin that could never match, rather than a run failing
// later.
bool CheckCertificatePin(const QString& path, const QString& pin, DraftProblem* problem) {
    if (ProtocolOfAddress(path) == RemoteProtocol::kFtps && !pin.trimmed().isEmpty() &&
        NormalizedFingerprint(pin).isEmpty()) {
        return Refuse(problem,
                      "The certificate fingerprint must be a SHA-256 fingerprint (64 hex digits)",
                      QString(), DraftField::kCertificatePin, kPageDestination);
    }
    return true;
}

}  // namespace

QString NormalizedDestination(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || DestinationIsFtp(trimmed)) {
        return trimmed;
    }
    QString path = trimmed;
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/"))) {
        path = QDir::homePath() + path.mid(1);
    } else if (!path.startsWith(QLatin1Char('/'))) {
        // A relative path means the same wherever the program was started from.
        path = QDir::homePath() + QLatin1Char('/') + path;
    }
    if (!path.endsWith(QLatin1Char('/'))) {
        path += QLatin1Char('/');
    }
    return path;
}

void StoreDestinationPage(TaskRecord& task, const DestinationInput& input) {
    task.destination.path = NormalizedDestination(input.path);
    task.destination.type = DestinationIsFtp(task.destination.path) ? kDestFtp : kDestFolder;
    task.destination.userName = input.user.left(kMaxDestinationLoginLength);
    task.destination.password = input.password.left(kMaxDestinationLoginLength);
    bool ok = false;
    const int port = input.port.trimmed().toInt(&ok, 10);
    task.destination.ftpPort = ok ? port : 0;
    task.destination.certificatePin =
        ProtocolOfAddress(task.destination.path) == RemoteProtocol::kFtps
            ? input.certificatePin.trimmed()
            : QString();
    task.destination.useXPBurn = input.useBurner;
    task.keepLast = std::clamp(input.keepLast, 0, kMaxKeepLast);
    // Only a bucket has a service: stale values of an earlier S3 destination go.
    const bool s3 = ProtocolOfAddress(task.destination.path) == RemoteProtocol::kS3;
    task.destination.serviceUrl = s3 ? input.serviceUrl.trimmed() : QString();
    task.destination.region = s3 ? input.region.trimmed() : QString();
}

bool CheckDestinationPage(const DestinationInput& input, DraftProblem* problem) {
    if (input.path.trimmed().isEmpty()) {
        return Refuse(problem, "You must add destination path", QString(), DraftField::kDestination,
                      kPageDestination);
    }
    if (ProtocolOfAddress(input.path) == RemoteProtocol::kS3 &&
        !input.serviceUrl.trimmed().startsWith(QLatin1String("http://"), Qt::CaseInsensitive) &&
        !input.serviceUrl.trimmed().startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
        return Refuse(problem, "An S3 destination needs the service address (https://...)",
                      QString(), DraftField::kDestination, kPageDestination);
    }
    return CheckCertificatePin(input.path, input.certificatePin, problem);
}

const QStringList& IncludeFilterPresets() {
    static const QStringList presets = {
        QStringLiteral("All files (*.*)"),
        QStringLiteral("Audio files (*.aif;*.ac3;*.asf;*.au;*.mp1;*.mp2;*.mp3;*.mpa;*.ogg;*.ogm;"
                       "*.ra;*.rm;*.ram;*.sw;*.wav)"),
        QStringLiteral("Archive files (*.ace;*.arj;*.bz2;*.cab;*.iso;*.lzh;*.rar;*.tar;*.gz;*.jar;"
                       "*.uue)"),
        QStringLiteral("Document files (*.doc;*.dtp;*.dvi;*.epi;*.eth;*.htm;*.html;*.mht;*.pdf;"
                       "*.txt;*.qxd;*.vsd;*.wps;*.xlc;*.xls;*.xlm;*.xlw)"),
        QStringLiteral("Image files (*.bmp;*.dib;*.eps;*.gif;*.ico;*.jpg;*.jpeg;*.jpe;*.pcx;*.pdf;"
                       "*.pcd;*.psd;*.raw;*.pct;*.png;*.tga;*.tif;*.tiff)"),
        QStringLiteral("Camera RAW images (*.crw;*.cr2;*.nef;*.raf;*.orf;*.mrw;*.dcr;*.mos;*.raw;"
                       "*.pef;*.srf;*.dnf;*.dng;*.x3f;*.erf)"),
        QStringLiteral("Video files (*.avi;*.mpa;*.mpeg;*.mpe;*.mpg;*.m2v;*.mp2:*.vob)"),
        QStringLiteral("Web files and web pages (*.asp;*.css;*.js;*.htm;*.html;*.htx;*.mht;*.shtml;"
                       "*.swf;*.txt;*.url;*.jpg;*.gif;*.png)"),
        QStringLiteral("Web files without graphics (*.asp;*.css;*.js;*.htm;*.html;*.htx;*.mht;"
                       "*.shtml;*.swf;*.txt;*.url)"),
    };
    return presets;
}

const QStringList& ExcludeFilterPresets() {
    static const QStringList presets = {
        QStringLiteral("Not used"),
        QStringLiteral("Windows temporary files (*.tmp)"),
        QStringLiteral("Executable files (*.bat;*.exe;*.dll;*.ocx)"),
        IncludeFilterPresets().at(4),
        QStringLiteral("Visual Studio temporary files (*.obj;*.cnt;*.pch;*.res;*.ncb;*.ilk;*.pdb;"
                       "*.idb)"),
    };
    return presets;
}

QString ArchiveBaseName(const QString& taskName) {
    QString base = taskName;
    base.remove(QLatin1Char(' '));
    base.remove(QLatin1Char('\\'));
    base.remove(QLatin1Char('/'));
    base.remove(QLatin1Char('#'));
    return base;
}

// IsWellFormedFilter is the filter engine's own (engine/FileFilter.cpp), so a filter the
// pages accept is one the backup can read.

MethodInput MethodInputOf(const TaskRecord& task) {
    MethodInput input;
    input.method = task.backupMode;
    input.archiveName = task.archiveName;
    input.level = task.compressionLevel;
    input.includeFilter = task.includeFilter;
    input.excludeFilter = task.excludeFilter;
    input.password = task.archivePassword;
    input.passwordAgain = task.archivePassword;
    input.cipher = task.archiveCipher;
    return input;
}

QString ProposedArchiveName(const QString& archiveName, const QString& taskName) {
    return archiveName.isEmpty() ? ArchiveBaseName(taskName) + QStringLiteral(".zip") : archiveName;
}

void StoreMethodPage(TaskRecord& task, const MethodInput& input) {
    task.backupMode = input.method;
    task.archiveName = input.archiveName;
    task.compressionLevel = qBound(0, input.level, 9);
    task.includeFilter = StoredFilter(input.includeFilter, IncludeFilterPresets());
    task.excludeFilter = StoredFilter(input.excludeFilter, ExcludeFilterPresets());
    task.archivePassword = input.password;
    task.archiveCipher = input.cipher == kCipherAes256 ? kCipherAes256 : kCipherTraditional;
}

bool CheckMethodPage(const MethodInput& input, DraftProblem* problem) {
    if (input.method != kMethodCopy && input.password != input.passwordAgain) {
        return Refuse(problem, "Password strings are not identical, please type them again",
                      kWarning, DraftField::kPassword, kPageMethod);
    }
    if (!IsWellFormedFilter(input.includeFilter.trimmed())) {
        return Refuse(problem, "Include files filter seem to be not correct", kWarning,
                      DraftField::kIncludeFilter, kPageMethod);
    }
    if (!IsWellFormedFilter(input.excludeFilter.trimmed())) {
        return Refuse(problem, "Exclude files filter seem to be not correct", kWarning,
                      DraftField::kExcludeFilter, kPageMethod);
    }
    return true;
}

quint16 WeekDayMask(const WeekDays& days) {
    quint16 mask = 0;
    for (int i = 0; i < 7; ++i) {
        mask |= days[static_cast<size_t>(i)] ? WeekDayBit(i) : 0;
    }
    return mask;
}

WeekDays WeekDaysOfMask(quint16 mask) {
    WeekDays days{};
    for (int i = 0; i < 7; ++i) {
        days[static_cast<size_t>(i)] = (mask & WeekDayBit(i)) != 0;
    }
    return days;
}

CalendarTime RoundedRunTime(const CalendarTime& now) {
    CalendarTime rounded = now;
    rounded.minute = static_cast<quint16>(now.minute - now.minute % 5);
    rounded.second = 0;
    rounded.milliseconds = 0;
    return rounded;
}

ScheduleInput ScheduleInputOf(const TaskRecord& task) {
    ScheduleInput input;
    input.mode = task.scheduleMode;
    input.weekDays = WeekDaysOfMask(task.schedulePattern);
    input.dayOfMonth = task.scheduleDay;
    input.hour = task.scheduleStart.hour;
    input.minute = task.scheduleStart.minute;
    input.mailAddress = task.mailAddress;
    input.mailAccount = task.mailAccount;
    return input;
}

void StoreSchedulePage(TaskRecord& task, const ScheduleInput& input) {
    task.scheduleMode = input.mode;
    if (input.mode == kScheduleWeekly) {
        task.schedulePattern = WeekDayMask(input.weekDays);
    } else if (input.mode == kScheduleMonthly) {
        task.schedulePattern = kAllMonthsMask;
    }
    task.scheduleDay = input.dayOfMonth;
    // The start keeps its date; a task that never had one starts today.
    CalendarTime start = task.scheduleStart.IsValid() ? task.scheduleStart : CurrentLocalTime();
    start.hour = static_cast<quint16>(qBound(0, input.hour, 23));
    start.minute = static_cast<quint16>(qBound(0, input.minute, 59));
    start.second = 0;
    start.milliseconds = 0;
    task.scheduleStart = start;
    task.mailAddress = input.mailAddress;
    task.mailAccount = input.mailAccount;
}

bool CheckSchedulePage(const ScheduleInput& input, DraftProblem* problem) {
    if (input.mode == kScheduleWeekly && WeekDayMask(input.weekDays) == 0) {
        return Refuse(problem, "You must select at lease one day", kWarning, DraftField::kWeekDays,
                      kPageSchedule);
    }
    if (input.mode == kScheduleMonthly && input.dayOfMonth == 0) {
        return Refuse(problem, "Day number is not valid", kWarning, DraftField::kMonthDay,
                      kPageSchedule);
    }
    return true;
}

bool CheckTaskSettings(const TaskRecord& task, const QString& passwordAgain,
                       DraftProblem* problem) {
    if (task.name.isEmpty()) {
        return Refuse(problem, "Task name cannot be empty", kWarning, DraftField::kTaskName,
                      kPageSource);
    }
    if (!CheckCertificatePin(task.destination.path, task.destination.certificatePin, problem)) {
        return false;
    }
    if (task.backupMode != kMethodCopy && task.archivePassword != passwordAgain) {
        return Refuse(problem, "Password strings are not identical, please type them again",
                      kWarning, DraftField::kPassword, kPageMethod);
    }
    if (task.scheduleMode == kScheduleMonthly && task.scheduleDay == 0) {
        return Refuse(problem, "Day number for sheduling is not valid", kWarning,
                      DraftField::kMonthDay, kPageSchedule);
    }
    return true;
}

}  // namespace corvane
