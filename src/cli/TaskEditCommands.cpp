#include "cli/TaskEditCommands.h"

#include <QDir>
#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "app/ExitCode.h"
#include "app/SourceItems.h"
#include "app/TaskDraft.h"
#include "app/TaskSchedule.h"
#include "app/TaskSession.h"
#include "cli/TaskSessionCommand.h"
#include "cli/WindowProgram.h"
#include "platform/DesktopShortcut.h"
#include "platform/UserSettings.h"

namespace corvane {
namespace {

// What a source named on the command line is.
enum class SourceType {
    kPath,         // a folder or file (a plain word, --add)
    kRegistry,     // --registry KEY
    kAllContacts,  // --all-contacts
    kContact,      // --contact "FIRST|MIDDLE|LAST"
    kWellKnown,    // --well-known NODE
};

// A source to add, in the order the command line names it.
struct SourceArgument {
    QString text;
    SourceType type = SourceType::kPath;
};

const std::pair<QLatin1String, SourceType> kSourceOptions[] = {
    {QLatin1String("--add"), SourceType::kPath},
    {QLatin1String("--registry"), SourceType::kRegistry},
    {QLatin1String("--contact"), SourceType::kContact},
    {QLatin1String("--well-known"), SourceType::kWellKnown},
};

// What the command line asks for; an option not given leaves the task's value alone.
struct TaskOptions {
    QString name;
    std::optional<QString> rename, to, zipArchive, include, exclude, mail, mailAccount, ftpUser,
        ftpPort, certPin, serviceUrl, region, group;
    std::optional<int> level, keep;
    std::optional<qint32> cipher;
    std::optional<QString> schedule;
    std::vector<SourceArgument> add;
    QStringList remove;
    bool copy = false, archivePassword = false, ftpPassword = false, shortcut = false,
         noShortcut = false;
};

int UsageError(std::FILE* err, const QString& message) {
    std::fprintf(err, "Error: %s\nRun corvane-cli --help for the commands.\n",
                 qUtf8Printable(message));
    return kExitUsage;
}

int Refused(std::FILE* err, const DraftProblem& problem) {
    std::fprintf(err, "Error: %s\n", qUtf8Printable(problem.message));
    return kExitUsage;
}

// Parses `args` into `options`; false with the reason in `why`. Words that are not
// options are the task name and then (for new) the sources.
bool ParseOptions(QStringList args, bool edit, TaskOptions& options, QString& why) {
    using Text = std::optional<QString> TaskOptions::*;
    static const std::pair<QLatin1String, Text> kTextOptions[] = {
        {QLatin1String("--to"), &TaskOptions::to},
        {QLatin1String("--zip"), &TaskOptions::zipArchive},
        {QLatin1String("--include"), &TaskOptions::include},
        {QLatin1String("--exclude"), &TaskOptions::exclude},
        {QLatin1String("--schedule"), &TaskOptions::schedule},
        {QLatin1String("--mail"), &TaskOptions::mail},
        {QLatin1String("--mail-account"), &TaskOptions::mailAccount},
        {QLatin1String("--ftp-user"), &TaskOptions::ftpUser},
        {QLatin1String("--ftp-port"), &TaskOptions::ftpPort},
        {QLatin1String("--cert-pin"), &TaskOptions::certPin},
        {QLatin1String("--service-url"), &TaskOptions::serviceUrl},
        {QLatin1String("--region"), &TaskOptions::region},
        {QLatin1String("--group"), &TaskOptions::group},
        {QLatin1String("--rename"), &TaskOptions::rename},
    };
    const QStringList editOnly = {"--rename", "--add", "--remove", "--copy", "--no-shortcut"};
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (!edit && editOnly.contains(arg)) {
            why = QStringLiteral("%1 belongs to edit").arg(arg);
            return false;
        }
        const auto text = std::find_if(std::begin(kTextOptions), std::end(kTextOptions),
                                       [&](const auto& option) { return option.first == arg; });
        const auto source = std::find_if(std::begin(kSourceOptions), std::end(kSourceOptions),
                                         [&](const auto& option) { return option.first == arg; });
        const bool valued = text != std::end(kTextOptions) || source != std::end(kSourceOptions) ||
                            arg == QLatin1String("--level") || arg == QLatin1String("--keep") ||
                            arg == QLatin1String("--remove") || arg == QLatin1String("--cipher");
        if (valued && args.isEmpty()) {
            why = QStringLiteral("%1 needs a value").arg(arg);
            return false;
        }
        bool numberOk = true;
        if (text != std::end(kTextOptions)) {
            options.*(text->second) = args.takeFirst();
            // The port is checked here: the page would quietly read a bad one as 0.
            if (arg == QLatin1String("--ftp-port")) {
                const int port = options.ftpPort->toInt(&numberOk);
                numberOk = numberOk && port >= 1 && port <= 65535;
            }
        } else if (arg == QLatin1String("--level")) {
            options.level = args.takeFirst().toInt(&numberOk);
            numberOk = numberOk && *options.level >= 0 && *options.level <= 9;
        } else if (arg == QLatin1String("--keep")) {
            options.keep = args.takeFirst().toInt(&numberOk);
            numberOk = numberOk && *options.keep >= 0 && *options.keep <= kMaxKeepLast;
        } else if (arg == QLatin1String("--cipher")) {
            const QString cipher = args.takeFirst();
            if (cipher != QLatin1String("aes") && cipher != QLatin1String("traditional")) {
                why = QStringLiteral("--cipher needs aes or traditional");
                return false;
            }
            options.cipher = cipher == QLatin1String("aes") ? kCipherAes256 : kCipherTraditional;
        } else if (source != std::end(kSourceOptions)) {
            options.add.push_back({args.takeFirst(), source->second});
        } else if (arg == QLatin1String("--remove")) {
            options.remove << args.takeFirst();
        }
        if (!numberOk) {
            why = QStringLiteral(
                      "%1 needs a number in its range (level 0 to 9, port 1 to 65535, keep 0 to "
                      "9999)")
                      .arg(arg);
            return false;
        }
        if (valued) {
            continue;
        }
        if (arg == QLatin1String("--copy")) {
            options.copy = true;
        } else if (arg == QLatin1String("--password-stdin")) {
            options.archivePassword = true;
        } else if (arg == QLatin1String("--ftp-password-stdin")) {
            options.ftpPassword = true;
        } else if (arg == QLatin1String("--all-contacts")) {
            options.add.push_back({QString(), SourceType::kAllContacts});
        } else if (arg == QLatin1String("--shortcut")) {
            options.shortcut = true;
        } else if (arg == QLatin1String("--no-shortcut")) {
            options.noShortcut = true;
        } else if (arg.startsWith(QLatin1String("--"))) {
            why = QStringLiteral("unknown option %1").arg(arg);
            return false;
        } else if (options.name.isNull()) {
            options.name = arg;
        } else if (!edit) {
            options.add.push_back({arg, SourceType::kPath});
        } else {
            why = QStringLiteral("edit takes one task name; sources come with --add");
            return false;
        }
    }
    if (options.name.isNull()) {
        why = QStringLiteral("the command needs a task name");
        return false;
    }
    if ((options.copy && options.zipArchive) || (options.shortcut && options.noShortcut)) {
        why =
            QStringLiteral("--copy and --zip, or --shortcut and --no-shortcut, exclude each other");
        return false;
    }
    return true;
}

// "HH:MM" into the schedule's run time.
bool ParseRunTime(const QString& text, ScheduleInput& input) {
    const QStringList parts = text.split(QLatin1Char(':'));
    bool hourOk = false;
    bool minuteOk = false;
    if (parts.size() != 2) {
        return false;
    }
    input.hour = parts[0].toInt(&hourOk);
    input.minute = parts[1].toInt(&minuteOk);
    return hourOk && minuteOk && input.hour >= 0 && input.hour < 24 && input.minute >= 0 &&
           input.minute < 60;
}

// `manual`, `daily@HH:MM`, `weekly:mon,fri@HH:MM`, `monthly:D@HH:MM`. A day of the month
// that is no number from 1 to 31 is kept as 0, for the page's check to refuse.
bool ParseSchedule(const QString& text, ScheduleInput& input) {
    if (text == QLatin1String("manual")) {
        input.mode = kScheduleNone;
        return true;
    }
    const qsizetype at = text.indexOf(QLatin1Char('@'));
    if (at < 0 || !ParseRunTime(text.mid(at + 1), input)) {
        return false;
    }
    const QString kind = text.left(at).section(QLatin1Char(':'), 0, 0);
    const QString detail = text.left(at).section(QLatin1Char(':'), 1);
    if (kind == QLatin1String("daily") && detail.isEmpty()) {
        input.mode = kScheduleDaily;
        return true;
    }
    if (kind == QLatin1String("monthly")) {
        bool ok = false;
        const int day = detail.toInt(&ok);
        input.mode = kScheduleMonthly;
        input.dayOfMonth = ok && day >= 1 && day <= 31 ? day : 0;
        return true;
    }
    if (kind != QLatin1String("weekly")) {
        return false;
    }
    static const QStringList days = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    input.mode = kScheduleWeekly;
    input.weekDays = {};
    for (const QString& day : detail.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const qsizetype index = days.indexOf(day.trimmed().toLower());
        if (index < 0) {
            return false;
        }
        input.weekDays[static_cast<size_t>(index)] = true;
    }
    return true;
}

// The passwords standard input holds: the archive's on the first line, the FTP
// password on the next.
struct Passwords {
    QString archive;
    QString ftp;
};

Passwords ReadPasswords(const TaskOptions& options) {
    Passwords passwords;
    if (options.archivePassword) {
        passwords.archive = ReadStandardInputLine();
    }
    if (options.ftpPassword) {
        passwords.ftp = ReadStandardInputLine();
    }
    return passwords;
}

void ApplyDestination(const TaskOptions& options, const Passwords& passwords,
                      DestinationInput& input) {
    input.path = options.to.value_or(input.path);
    // On a command line a relative folder means the current one, as for the sources
    // (the window, which has no current folder to speak of, takes it below home).
    const QString typed = input.path.trimmed();
    if (options.to && !typed.isEmpty() && !DestinationIsFtp(typed) &&
        !typed.startsWith(QLatin1Char('~')) && QDir::isRelativePath(typed)) {
        input.path = QDir::current().absoluteFilePath(typed);
    }
    input.user = options.ftpUser.value_or(input.user);
    input.port = options.ftpPort.value_or(input.port);
    input.certificatePin = options.certPin.value_or(input.certificatePin);
    input.keepLast = options.keep.value_or(input.keepLast);
    input.serviceUrl = options.serviceUrl.value_or(input.serviceUrl);
    input.region = options.region.value_or(input.region);
    if (options.ftpPassword) {
        input.password = passwords.ftp;
    }
}

void ApplyMethod(const TaskOptions& options, const Passwords& passwords, const QString& taskName,
                 MethodInput& input) {
    if (options.copy) {
        input.method = kMethodCopy;
    }
    if (options.zipArchive) {
        input.method = kMethodZip;
        // An empty name keeps the one the task has, or proposes one, as the page does.
        input.archiveName = ProposedArchiveName(
            options.zipArchive->isEmpty() ? input.archiveName : *options.zipArchive, taskName);
    }
    input.level = options.level.value_or(input.level);
    input.cipher = options.cipher.value_or(input.cipher);
    input.includeFilter = options.include.value_or(input.includeFilter);
    input.excludeFilter = options.exclude.value_or(input.excludeFilter);
    if (options.archivePassword) {
        input.password = passwords.archive;
        input.passwordAgain = passwords.archive;
    }
}

bool ApplySchedule(const TaskOptions& options, ScheduleInput& input, std::FILE* err) {
    if (options.schedule && !ParseSchedule(*options.schedule, input)) {
        UsageError(err, QStringLiteral("--schedule needs manual, daily@HH:MM, "
                                       "weekly:mon,fri@HH:MM or monthly:D@HH:MM"));
        return false;
    }
    input.mailAddress = options.mail.value_or(input.mailAddress);
    input.mailAccount = options.mailAccount.value_or(input.mailAccount);
    return true;
}

// A value of an option that names no source.
DraftProblem BadSourceValue(const QString& message) {
    return DraftProblem{message, QString(), DraftField::kSourceTree, kPageSource};
}

// Adds the contact "FIRST|MIDDLE|LAST": exactly three fields, one of them not empty, so
// that a name is never split where the user did not mean it.
int AddNamedContact(TaskRecord& task, const QString& text, DraftProblem* problem) {
    const QStringList names = text.split(QLatin1Char('|'));
    if (names.size() != 3 || text.size() == 2) {
        *problem = BadSourceValue(
            QStringLiteral("--contact needs FIRST|MIDDLE|LAST (empty fields allowed), not %1")
                .arg(text));
        return -1;
    }
    for (const QString& name : names) {
        if (name.size() > kMaxContactNameLength) {
            *problem =
                BadSourceValue(QStringLiteral("--contact: a name is longer than %1 characters")
                                   .arg(kMaxContactNameLength));
            return -1;
        }
    }
    return AddContactSource(task, names[0], names[1], names[2]);
}

int AddNamedWellKnownSource(TaskRecord& task, const QString& node, DraftProblem* problem) {
    const WellKnownSource* source = FindWellKnownSource(node);
    if (source == nullptr) {
        QStringList nodes;
        for (const WellKnownSource& row : WellKnownSources()) {
            nodes << QLatin1Char('"') + QString::fromUtf8(row.node) + QLatin1Char('"');
        }
        *problem = BadSourceValue(QStringLiteral("--well-known takes one of %1, not \"%2\"")
                                      .arg(nodes.join(QStringLiteral(", ")), node));
        return -1;
    }
    return AddWellKnownSource(task, *source, UserWellKnownPlaces(), problem);
}

int AddSourceArgument(TaskRecord& task, const SourceArgument& source, DraftProblem* problem) {
    switch (source.type) {
        case SourceType::kRegistry:
            return AddRegistrySource(task, source.text, problem);
        case SourceType::kAllContacts:
            return AddAllContactsSource(task);
        case SourceType::kContact:
            return AddNamedContact(task, source.text, problem);
        case SourceType::kWellKnown:
            return AddNamedWellKnownSource(task, source.text, problem);
        case SourceType::kPath:
            break;
    }
    return AddFileSystemSource(task, source.text, problem);
}

// The contact item (or "All contacts") that `list` shows as `text`; -1 when none.
int FindContactSource(const TaskRecord& task, const QString& text) {
    for (size_t i = 0; i < task.items.size(); ++i) {
        const SourceItem& item = task.items[i];
        if ((item.kind == kItemContact || item.kind == kItemAllContacts) &&
            DescribeItem(item) == text) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Adds and removes the sources named on the command line; false after printing why.
// --remove takes a settings key the task holds, or a contact item as `list` shows it,
// as well as a folder or file.
bool ApplySources(const TaskOptions& options, TaskRecord& task, std::FILE* err) {
    for (const QString& path : options.remove) {
        int index = FindRegistrySource(task, path);
        if (index < 0) {
            index = FindPathSource(task, QDir::cleanPath(QDir::current().absoluteFilePath(path)));
        }
        if (index < 0) {
            index = FindContactSource(task, path);
        }
        if (!RemoveSource(task, index)) {
            std::fprintf(err, "Error: the task has no item %s\n", qUtf8Printable(path));
            return false;
        }
    }
    for (const SourceArgument& source : options.add) {
        DraftProblem problem;
        if (AddSourceArgument(task, source, &problem) < 0) {
            Refused(err, problem);
            return false;
        }
    }
    return true;
}

TreeEntry* GroupNamed(TaskTree& tree, const QString& name) {
    for (const auto& entry : tree.TopLevel()) {
        if (entry->IsGroup() && entry->label == name) {
            return entry.get();
        }
    }
    return tree.AddGroupEntry(name);
}

TreeEntry* TaskEntryOf(const TaskTree& tree, int index) {
    for (const TreeEntry* entry : tree.InDisplayOrder()) {
        if (entry->IsTask() && entry->value == index) {
            return const_cast<TreeEntry*>(entry);
        }
    }
    return nullptr;
}

// The wizard's pages in their order, each stored once its check passes.
int FillNewTask(const TaskOptions& options, const Passwords& passwords, TaskRecord& task,
                std::FILE* err) {
    DraftProblem problem;
    if (!ApplySources(options, task, err)) {
        return kExitUsage;
    }
    if (!CheckSourcePage(task, &problem)) {
        return Refused(err, problem);
    }
    DestinationInput destination = DestinationInputOf(task);
    ApplyDestination(options, passwords, destination);
    if (!CheckDestinationPage(destination, &problem)) {
        return Refused(err, problem);
    }
    StoreDestinationPage(task, destination);
    MethodInput method = MethodInputOf(task);
    ApplyMethod(options, passwords, task.name, method);
    if (!CheckMethodPage(method, &problem)) {
        return Refused(err, problem);
    }
    StoreMethodPage(task, method);
    ScheduleInput schedule = ScheduleInputOf(task);
    if (!ApplySchedule(options, schedule, err)) {
        return kExitUsage;
    }
    if (!CheckSchedulePage(schedule, &problem)) {
        return Refused(err, problem);
    }
    StoreSchedulePage(task, schedule);
    return kExitOk;
}

// The settings sheet: every page stored, then the sheet's checks.
int ChangeTask(const TaskOptions& options, const Passwords& passwords, TaskRecord& task,
               std::FILE* err) {
    task.name = options.rename.value_or(task.name);
    if (!ApplySources(options, task, err)) {
        return kExitUsage;
    }
    DestinationInput destination = DestinationInputOf(task);
    ApplyDestination(options, passwords, destination);
    StoreDestinationPage(task, destination);
    MethodInput method = MethodInputOf(task);
    ApplyMethod(options, passwords, task.name, method);
    StoreMethodPage(task, method);
    ScheduleInput schedule = ScheduleInputOf(task);
    if (!ApplySchedule(options, schedule, err)) {
        return kExitUsage;
    }
    StoreSchedulePage(task, schedule);
    DraftProblem problem;
    if (!CheckTaskSettings(task, method.passwordAgain, &problem)) {
        return Refused(err, problem);
    }
    return kExitOk;
}

int NameTaken(std::FILE* err, const QString& name) {
    std::fprintf(err, "Error: a task named '%s' already exists\n", qUtf8Printable(name));
    return kExitUsage;
}

}  // namespace

QString ReadStandardInputLine() {
    QByteArray line;
    int c = 0;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') {
        line += static_cast<char>(c);
    }
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    return QString::fromUtf8(line);
}

int NewTaskCommand(const QString& dataFolder, const QStringList& args, std::FILE* out,
                   std::FILE* err) {
    TaskOptions options;
    QString why;
    if (!ParseOptions(args, false, options, why)) {
        return UsageError(err, why);
    }
    const Passwords passwords = ReadPasswords(options);
    return RunOnTaskSession(dataFolder, true, out, err, [&](TaskSession& session) {
        if (session.tasks.FindTaskByName(options.name) >= 0) {
            return NameTaken(err, options.name);
        }
        TaskRecord task = NewTaskDraft(UserSettings::DefaultBackupFolder(), CurrentLocalTime());
        task.name = options.name;
        if (const int status = FillNewTask(options, passwords, task, err); status != kExitOk) {
            return status;
        }
        const bool shortcutMade = !options.shortcut || CreateDesktopShortcut(task, WindowProgram());
        task.oid = session.tasks.NewOid();
        const int index = session.tasks.TaskCount();
        session.tasks.Append(std::make_unique<TaskRecord>(task));
        session.tree.AddTaskEntry(
            options.group ? GroupNamed(session.tree, *options.group) : nullptr, index);
        if (!session.Save(err)) {
            // No launcher may outlive the task it starts.
            DeleteDesktopShortcut(*session.tasks.TaskAt(index));
            return kExitFailed;
        }
        const bool scheduled = ApplyTaskSchedule(nullptr, task, WindowProgram());
        std::fputs("New task added\n", out);
        return shortcutMade && scheduled ? kExitOk : kExitFailed;
    });
}

int EditTaskCommand(const QString& dataFolder, const QStringList& args, std::FILE* out,
                    std::FILE* err) {
    TaskOptions options;
    QString why;
    if (!ParseOptions(args, true, options, why)) {
        return UsageError(err, why);
    }
    const Passwords passwords = ReadPasswords(options);
    return RunOnTaskSession(dataFolder, true, out, err, [&](TaskSession& session) {
        const int index = session.tasks.FindTaskByName(options.name);
        if (index < 0) {
            std::fprintf(err, "Error: task '%s' not found\n", qUtf8Printable(options.name));
            return kExitUsage;
        }
        if (options.rename) {
            const int other = session.tasks.FindTaskByName(*options.rename);
            if (other >= 0 && other != index) {
                return NameTaken(err, *options.rename);
            }
        }
        TaskRecord task = *session.tasks.TaskAt(index);
        if (const int status = ChangeTask(options, passwords, task, err); status != kExitOk) {
            return status;
        }
        bool shortcutMade = true;
        if (options.noShortcut) {
            DeleteDesktopShortcut(task);
        } else if (options.shortcut || (!task.desktopShortcut.isEmpty() && options.rename)) {
            shortcutMade = CreateDesktopShortcut(task, WindowProgram());
        }
        const TaskRecord before = *session.tasks.TaskAt(index);
        *session.tasks.TaskAt(index) = task;
        TreeEntry* entry = TaskEntryOf(session.tree, index);
        if (entry != nullptr) {
            session.tree.RefreshTaskEntry(entry);
            if (options.group) {
                session.tree.MoveTask(entry, GroupNamed(session.tree, *options.group));
            }
        }
        if (!session.Save(err)) {
            return kExitFailed;
        }
        // The job follows a new schedule and a new name; other changes leave it alone.
        const bool scheduled = (!options.schedule && before.name == task.name) ||
                               ApplyTaskSchedule(&before, task, WindowProgram());
        std::fputs("Task was changed\n", out);
        return shortcutMade && scheduled ? kExitOk : kExitFailed;
    });
}

}  // namespace corvane
