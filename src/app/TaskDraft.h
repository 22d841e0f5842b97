#pragma once

// The values and checks of the four task pages (sources, destination, method with
// filters, schedule with mail), below the window. The new-task wizard, the task settings
// sheet and `corvane-cli new` / `edit` all change a task through these functions, so a
// task means the same, and is refused with the same message, wherever it is made.
//
// Each page has an input record (what its controls hold), a Store function that writes
// the input into a task as the page does on leaving (trimmed, normalised, nothing
// refused) and a Check function with the wizard's checks of that page. The settings
// sheet stores all four pages and then runs CheckTaskSettings instead.
//
// Plain functions on values; no shared state.

#include <QString>
#include <QStringList>
#include <array>

#include "model/CalendarTime.h"
#include "model/TaskRecord.h"

namespace corvane {

// The pages in their wizard order; the tabs of the settings sheet in the same order.
enum TaskPage : int {
    kPageSource = 0,
    kPageDestination = 1,
    kPageMethod = 2,
    kPageSchedule = 3,
};

// The control a refused value belongs to, so the page can put the focus there.
enum class DraftField {
    kTaskName,
    kSourceTree,
    kItemList,
    kDestination,
    kCertificatePin,
    kPassword,
    kIncludeFilter,
    kExcludeFilter,
    kWeekDays,
    kMonthDay,
};

// Why a page or the sheet cannot be left: the message box's text and title (an empty
// title means the program's name, shown without an icon), the control to focus and
// the page that holds it.
struct DraftProblem {
    QString message;
    QString title;
    DraftField field = DraftField::kTaskName;
    TaskPage page = kPageSource;
};

// Longest user name and password of the destination page.
inline constexpr int kMaxDestinationLoginLength = 25;

// A new task as the wizard first shows it: destination `defaultDestination` (the
// user's "DefBackupsFolder") with the media its text names (DestinationIsFtp), method
// copy, level 9, AES-256 for a password (tasks read from files keep their cipher),
// schedule "Run manually" with the week day and day of month of `now`
// ticked in advance and `now` rounded down to 5 minutes (RoundedRunTime) as run time.
TaskRecord NewTaskDraft(const QString& defaultDestination, const CalendarTime& now);

// ---- Source page (the items themselves are added by app/SourceItems.h)

// Next: "Task name cannot be empty" (focus kTaskName), then "You must add at least one
// item" (focus kSourceTree); both titled with the program's name.
bool CheckSourcePage(const TaskRecord& task, DraftProblem* problem);

// ---- Destination page

struct DestinationInput {
    QString path;      // as typed
    QString user;      // "destArea"
    QString password;  // "destBurn"
    QString port;      // decimal text, empty for the default
    bool useBurner = false;
    int keepLast = 0;                // dated backups kept, 0 = all
    QString certificatePin = {};     // "destCertPin": SHA-256 of a certificate an FTPS server shows
    QString serviceUrl = QString();  // S3: "destServiceUrl"
    QString region = QString();      // S3: "destRegion"
};

// Most dated backups a task can be told to keep.
inline constexpr int kMaxKeepLast = 9999;

// Whether "Keep the last N dated backups" means anything for the task with the
// destination `path`: the path or, for ZIP, the archive name holds a date pattern.
bool OffersKeepLast(const TaskRecord& task, const QString& path);

// The values of a task as the page shows them: the port as decimal text, empty for 0.
DestinationInput DestinationInputOf(const TaskRecord& task);

// True when the text names a remote place: it begins with "ftp:", "ftps://", "sftp://"
// or "s3://" in any case. Any other text is a folder (a Linux path never has a drive
// letter, so no other rule applies).
bool DestinationIsFtp(const QString& text);

// The destination as stored: blanks trimmed; an FTP text unchanged otherwise; a folder
// with "~" expanded to the home folder, a relative path taken below the home folder
// (never below whatever the current folder happens to be) and a final "/". Empty stays
// empty.
QString NormalizedDestination(const QString& text);

// Stores the page: the normalised path, the media decided from the text (never from
// the radio buttons), user name and password cut to 25 characters, the port read as a
// decimal number (0 when empty or not a number), the burner flag, the certificate
// fingerprint trimmed for an "ftps://" destination (none for any other).
void StoreDestinationPage(TaskRecord& task, const DestinationInput& input);

// Next: "You must add destination path" (focus kDestination) when the trimmed path is
// empty; "The certificate fingerprint must be a SHA-256 fingerprint (64 hex digits)"
// (focus kCertificatePin) when an "ftps://" destination has a fingerprint that is none.
bool CheckDestinationPage(const DestinationInput& input, DraftProblem* problem);

// ---- Method page

// The presets of the two filter lists, in their order; the first of each stands for
// "everything" and is stored as an empty filter.
const QStringList& IncludeFilterPresets();
const QStringList& ExcludeFilterPresets();

// The archive name's default stem: the task name without blanks, "\", "/" and "#".
QString ArchiveBaseName(const QString& taskName);

// True when the filter is empty, holds neither "(" nor ")", or holds both with the
// first "(" before the first ")".
bool IsWellFormedFilter(const QString& filter);

struct MethodInput {
    qint32 method = kMethodCopy;
    QString archiveName;
    int level = 9;
    QString includeFilter;  // as typed or picked
    QString excludeFilter;
    QString password;
    QString passwordAgain;
    qint32 cipher = kCipherAes256;  // what the password encrypts with
};

MethodInput MethodInputOf(const TaskRecord& task);

// The archive name offered when "Create ZIP archive" is chosen: `archiveName` when not
// empty, else ArchiveBaseName(taskName) followed by ".zip".
QString ProposedArchiveName(const QString& archiveName, const QString& taskName);

// Stores the page: method, archive name, level (bounded to 0..9), the filters trimmed
// with the two "everything" presets stored as empty, the password and its cipher.
void StoreMethodPage(TaskRecord& task, const MethodInput& input);

// Next, in this order: for a method other than copy, different passwords ("Password
// strings are not identical, please type them again", kPassword); an include filter
// that is not well formed ("Include files filter seem to be not correct",
// kIncludeFilter); an exclude filter likewise ("Exclude files filter seem to be not
// correct", kExcludeFilter). All titled "Warning".
bool CheckMethodPage(const MethodInput& input, DraftProblem* problem);

// ---- Schedule page

// Monday first, as the page shows the seven boxes.
using WeekDays = std::array<bool, 7>;

// The stored mask: Sunday 1, Monday 2, Tuesday 4, ... Saturday 64.
quint16 WeekDayMask(const WeekDays& days);
WeekDays WeekDaysOfMask(quint16 mask);

// All twelve months: the month mask of a monthly schedule.
inline constexpr quint16 kAllMonthsMask = 4095;

// `now` with the minutes rounded down to a multiple of 5, seconds and milliseconds 0.
CalendarTime RoundedRunTime(const CalendarTime& now);

struct ScheduleInput {
    qint32 mode = kScheduleNone;
    WeekDays weekDays{};
    int dayOfMonth = 0;  // 0 when the field holds no valid number
    int hour = 0;
    int minute = 0;
    QString mailAddress;
    QString mailAccount;
};

ScheduleInput ScheduleInputOf(const TaskRecord& task);

// Stores the page: the mode with its mask (weekly: the week-day mask; monthly: all
// months), day of month, run time, mail address and account. The scheduler account
// fields are kept as they are.
void StoreSchedulePage(TaskRecord& task, const ScheduleInput& input);

// Finish: weekly without a day ("You must select at lease one day", kWeekDays), monthly
// with day 0 ("Day number is not valid", kMonthDay); both titled "Warning". "Run
// manually" and "Every day" always pass.
bool CheckSchedulePage(const ScheduleInput& input, DraftProblem* problem);

// ---- Settings sheet

// Save, in this order: an empty task name ("Task name cannot be empty", source page);
// the destination page's certificate fingerprint check (untitled, as on the page); a
// method other than copy with different passwords ("Password strings are not
// identical, please type them again", method page); a monthly schedule with day 0
// ("Day number for sheduling is not valid", schedule page). The others titled "Warning". The
// sheet does not repeat the wizard's filter, destination and week-day checks.
bool CheckTaskSettings(const TaskRecord& task, const QString& passwordAgain, DraftProblem* problem);

}  // namespace corvane
