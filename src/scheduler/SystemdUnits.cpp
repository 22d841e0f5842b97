#include "scheduler/SystemdUnits.h"

#include <QCryptographicHash>
#include <QUrl>

#include "scheduler/Scheduler.h"

namespace corvane {
namespace {

// systemd refuses unit names longer than 255 bytes; ".service" is the longer suffix.
constexpr int kMaxUnitBaseLength = 255 - 8;
const QString kTaskComment = QStringLiteral("# Corvane task: ");
const QString kRuleComment = QStringLiteral("# Corvane rule: ");

// Comments carry the text percent-encoded: one line, and nothing systemd would expand.
QString CommentValue(const QString& text) {
    return QString::fromLatin1(QUrl::toPercentEncoding(text, " ,:"));
}

QString ReadComment(const QString& unitText, const QString& prefix) {
    for (const QString& line : unitText.split(QLatin1Char('\n'))) {
        if (line.startsWith(prefix)) {
            return QUrl::fromPercentEncoding(line.mid(prefix.size()).toLatin1());
        }
    }
    return QString();
}

// Unit files expand "%" specifiers everywhere but comments.
QString EscapeSpecifiers(const QString& text) {
    QString escaped = text;
    return escaped.replace(QLatin1Char('%'), QStringLiteral("%%"));
}

}  // namespace

QString SystemdEscape(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    QString escaped;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == ':' || c == '_' || (c == '.' && i > 0);
        if (c == '/') {
            escaped += QLatin1Char('-');
        } else if (plain) {
            escaped += QLatin1Char(c);
        } else {
            escaped += QString::asprintf("\\x%02x", static_cast<unsigned char>(c));
        }
    }
    return escaped;
}

QString UnitBaseName(const QString& taskName) {
    const QString escaped = SystemdEscape(WorkItemName(taskName));
    if (escaped.size() <= kMaxUnitBaseLength) {
        return escaped;
    }
    // Cut at an escape boundary never matters for uniqueness: the digest of the whole
    // name follows.
    const QByteArray digest =
        QCryptographicHash::hash(taskName.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return escaped.left(kMaxUnitBaseLength - digest.size() - 1) + QLatin1Char('_') +
           QString::fromLatin1(digest);
}

QString QuoteExecArgument(const QString& word) {
    QString quoted = QStringLiteral("\"");
    for (const QChar c : word) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"')) {
            quoted += QLatin1Char('\\');
            quoted += c;
        } else if (c == QLatin1Char('$')) {
            quoted += QStringLiteral("$$");
        } else if (c == QLatin1Char('%')) {
            quoted += QStringLiteral("%%");
        } else {
            quoted += c;
        }
    }
    return quoted + QLatin1Char('"');
}

QString TimerUnitText(const QString& taskName, const QStringList& calendars, const QString& rule) {
    QString text = kTaskComment + CommentValue(taskName) + QLatin1Char('\n') + kRuleComment +
                   CommentValue(rule) + QStringLiteral("\n[Unit]\nDescription=") +
                   EscapeSpecifiers(WorkItemName(taskName)) + QStringLiteral("\n\n[Timer]\n");
    for (const QString& calendar : calendars) {
        text += QStringLiteral("OnCalendar=") + calendar + QLatin1Char('\n');
    }
    // A run missed while the computer was off or asleep happens at the next start.
    text += QStringLiteral("Persistent=true\n\n[Install]\nWantedBy=timers.target\n");
    return text;
}

QString ServiceUnitText(const QString& taskName, const QString& program) {
    return QStringLiteral("[Unit]\nDescription=") + EscapeSpecifiers(WorkItemName(taskName)) +
           QStringLiteral("\n\n[Service]\nType=oneshot\nExecStart=") + QuoteExecArgument(program) +
           QLatin1Char(' ') + QuoteExecArgument(QLatin1Char('/') + taskName) +
           QStringLiteral("\nTimeoutStartSec=30min\n");
}

QString TaskNameOfTimer(const QString& timerText) {
    return ReadComment(timerText, kTaskComment);
}

QString RuleOfTimer(const QString& timerText) {
    return ReadComment(timerText, kRuleComment);
}

}  // namespace corvane
