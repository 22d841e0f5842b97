#pragma once

// The task record: everything the program knows about one backup job, with its
// source items, destination and backup history. Field order follows the stored keys
// of the task list file (see doc/formats/task-list.md).

#include <QString>
#include <QtGlobal>
#include <optional>
#include <vector>

#include "model/CalendarTime.h"

namespace corvane {

enum TaskType : qint32 { kTaskBackup = 1, kTaskRestore = 2, kTaskSync = 3 };
enum BackupMethod : qint32 { kMethodCopy = 1, kMethodZip = 2, kMethodThird = 3 };
enum DestinationType : qint32 { kDestFolder = 1, kDestFtp = 2 };
// How the entries of a password-protected archive are encrypted: the traditional ZIP
// cipher every tool opens, or AES-256 with authentication (the AE-2 layout).
enum ArchiveCipher : qint32 { kCipherTraditional = 0, kCipherAes256 = 1 };
// The passwords of a task, one bit each, as the task list marks those kept in the
// keyring.
enum TaskPasswordField : qint32 {
    kPasswordDestination = 1,
    kPasswordArchive = 2,
    kPasswordScheduler = 4,
};
inline constexpr TaskPasswordField kPasswordFields[] = {kPasswordDestination, kPasswordArchive,
                                                        kPasswordScheduler};
enum ScheduleMode : qint32 {
    kScheduleNone = 0,
    kScheduleDaily = 1,
    kScheduleWeekly = 2,
    kScheduleMonthly = 3
};
enum SourceKind : qint32 {
    kItemFolder = 1,
    kItemFile = 3,
    kItemAllContacts = 4,
    kItemContact = 5,
    kItemRegistryKey = 6,
};

// Longest path of a path item and longest contact name field, in characters.
inline constexpr int kMaxItemPathLength = 259;
inline constexpr int kMaxContactNameLength = 81;

// Highest OID a task can carry (OIDs are 0..kMaxOid).
inline constexpr qint32 kMaxOid = 16384;

// One thing to back up. Kinds 1, 3 and 6 use `path`; kind 5 uses the three names;
// kind 4 uses neither. `nameInArchive` is the first path component under which the
// item is stored in the backup (empty for kinds 4 and 5).
struct SourceItem {
    qint32 kind = 0;
    QString path;
    QString firstName;
    QString middleName;
    QString lastName;
    QString nameInArchive;

    bool operator==(const SourceItem&) const = default;
};

// Item constructors.
SourceItem MakePathItem(const QString& path, qint32 kind, const QString& nameInArchive);
SourceItem MakeRegistryItem(const QString& path, const QString& nameInArchive);
SourceItem MakeContactItem(const QString& firstName, const QString& middleName,
                           const QString& lastName);
SourceItem MakeAllContactsItem();

// One earlier backup of a task: where it went (date patterns resolved) and when.
struct BackupHistoryEntry {
    QString folder;
    QString archiveName;  // empty for copies made "as is"
    CalendarTime time;

    bool operator==(const BackupHistoryEntry&) const = default;
};

struct TaskDestination {
    QString path;
    qint32 type = kDestFolder;
    bool useXPBurn = true;
    QString userName;  // stored as "destArea"
    QString password;  // stored as "destBurn"
    qint32 ftpPort = 21;
    // Remote destinations beyond plain FTP (the scheme of `path` tells which):
    QString certificatePin;  // "destCertPin": FTPS, a self-signed certificate accepted
    QString serviceUrl;      // "destServiceUrl": S3, the service's address
    QString region;          // "destRegion": S3

    bool operator==(const TaskDestination&) const = default;
};

struct TaskRecord {
    qint32 taskType = kTaskBackup;
    qint32 oid = 0;
    QString name;
    std::vector<SourceItem> items;
    TaskDestination destination;
    qint32 backupMode = kMethodCopy;
    QString archiveName;
    qint32 compressionLevel = 9;                // "archiveCmpVal", 0..9
    QString archivePassword;                    // "archBurn"
    qint32 archiveCipher = kCipherTraditional;  // "archCipher"
    QString includeFilter;
    QString excludeFilter;
    std::vector<BackupHistoryEntry> history;
    qint32 keepLast = 0;  // "KeepLastBackups": dated backups kept, 0 = all
    QString desktopShortcut;
    QString mailAddress;
    QString mailAccount;
    qint32 scheduleMode = kScheduleNone;
    quint16 schedulePattern = 0;  // "RecurDatePattern": weekday or month mask
    qint32 scheduleDay = 0;       // "RecurDayNmb"
    CalendarTime scheduleStart;   // "RecurTimeLo"/"RecurTimeHi"
    QString schedulerAccount;     // "destDataSeg"
    QString schedulerPassword;    // "destDataOffset"
    // Not stored: TaskPasswordField bits whose passwords are in the keyring but could not be
    // read (locked, or no service); those fields are empty until someone supplies them.
    qint32 unreadPasswords = 0;

    bool operator==(const TaskRecord&) const = default;
};

// The password field `field` names.
QString& TaskPassword(TaskRecord& task, TaskPasswordField field);
const QString& TaskPassword(const TaskRecord& task, TaskPasswordField field);

// The passwords a backup run of the task uses: the destination's for a remote one, the
// archive's for a ZIP archive.
qint32 PasswordsARunNeeds(const TaskRecord& task);

// The one-line texts of the task tree.
QString DescribeTask(const TaskRecord& task);
QString DescribeItem(const SourceItem& item);

// A contact's display text: first, middle and last name, each non-empty one followed
// by a blank, with blanks trimmed at both ends.
QString ContactDisplayName(const QString& firstName, const QString& middleName,
                           const QString& lastName);

// The latest time in the task's backup history (compared to the second); nothing for
// an empty history.
std::optional<CalendarTime> LatestBackupTime(const TaskRecord& task);

}  // namespace corvane
