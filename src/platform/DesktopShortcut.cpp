#include "platform/DesktopShortcut.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>

#include "io/DescriptorIo.h"
#include "io/ReplacingFile.h"
#include "log/Log.h"
#include "model/FileName.h"

namespace corvane {
namespace {

const char kComment[] =
    "Click of this link will start backup process. Please do not rename this link.";

// A value of the "string" kind: a backslash and the control characters escaped, so the
// value stays on its line and reads back unchanged.
QString EscapedValue(const QString& text) {
    QString escaped;
    for (const QChar c : text) {
        switch (c.unicode()) {
            case '\\':
                escaped += QLatin1String("\\\\");
                break;
            case '\n':
                escaped += QLatin1String("\\n");
                break;
            case '\t':
                escaped += QLatin1String("\\t");
                break;
            case '\r':
                escaped += QLatin1String("\\r");
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

// One argument of the Exec key: in double quotes with `"`, `` ` ``, `$` and `\` escaped
// by a backslash; "%" doubled, as a single one starts a field code.
QString QuotedExecArgument(const QString& argument) {
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\')) {
            quoted += QLatin1Char('\\');
        }
        quoted += c == QLatin1Char('%') ? QStringLiteral("%%") : QString(c);
    }
    return quoted + QLatin1Char('"');
}

bool WriteLauncher(const QString& path, const QByteArray& text, QString* reason) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    ReplacingFile file;
    const bool written = file.Create(AT_FDCWD, FileNameToBytes(path), 0755) &&
                         WriteAll(file.Fd(), text.constData(), static_cast<size_t>(text.size())) &&
                         fchmod(file.Fd(), 0755) == 0 && file.Commit();
    if (!written) {
        *reason = QString::fromLocal8Bit(std::strerror(errno));
        file.Discard();
    }
    return written;
}

}  // namespace

QString DesktopFolder() {
    return QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
}

QString DesktopShortcutPath(const QString& taskName) {
    QString fileName = taskName;
    fileName.replace(QLatin1Char('/'), QLatin1Char('-'));
    return DesktopFolder() + QStringLiteral("/Backup - ") + fileName + QStringLiteral(".desktop");
}

QByteArray DesktopEntryText(const QString& taskName, const QString& program) {
    const QString exec = QuotedExecArgument(program) + QLatin1Char(' ') +
                         QuotedExecArgument(QStringLiteral("/\"") + taskName + QLatin1Char('"'));
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\n");
    text += QStringLiteral("Name=") + EscapedValue(QStringLiteral("Backup - ") + taskName) +
            QLatin1Char('\n');
    text += QStringLiteral("Comment=") + QLatin1String(kComment) + QLatin1Char('\n');
    text += QStringLiteral("Exec=") + EscapedValue(exec) + QLatin1Char('\n');
    text += QStringLiteral("Icon=corvane\nTerminal=false\n");
    return text.toUtf8();
}

bool CreateDesktopShortcut(TaskRecord& task, const QString& program) {
    const QString link = DesktopShortcutPath(task.name);
    QString reason;
    if (!WriteLauncher(link, DesktopEntryText(task.name, program), &reason)) {
        Log("  Error: cannot create shortcut %s: %s", qUtf8Printable(FileNameForDisplay(link)),
            qUtf8Printable(reason));
        return false;
    }
    // The old launcher goes only once the new one stands, so a failed write loses none.
    if (!task.desktopShortcut.isEmpty() && task.desktopShortcut != link) {
        Log("  Shortcut %s deleted", qUtf8Printable(FileNameForDisplay(task.desktopShortcut)));
        unlink(FileNameToBytes(task.desktopShortcut).constData());
    }
    Log("  Shortcut %s created", qUtf8Printable(FileNameForDisplay(link)));
    task.desktopShortcut = link;
    return true;
}

void DeleteDesktopShortcut(TaskRecord& task) {
    if (task.desktopShortcut.isEmpty()) {
        return;
    }
    unlink(FileNameToBytes(task.desktopShortcut).constData());
    Log("  Shortcut %s deleted", qUtf8Printable(FileNameForDisplay(task.desktopShortcut)));
    task.desktopShortcut.clear();
}

}  // namespace corvane
