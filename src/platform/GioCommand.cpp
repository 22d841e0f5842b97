#include "platform/GioCommand.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>

namespace corvane {
namespace {

QString GioProgram() {
    const QString program = qEnvironmentVariable("CORVANE_GIO");
    return program.isEmpty() ? QStringLiteral("gio") : program;
}

// gio prints "gio: smb://host/share/: Failed to mount Windows share: Connection refused";
// the location is the one the caller already names, so the reason alone is kept.
QString ErrorOfGio(const QByteArray& standardError) {
    QString reason;
    for (const QByteArray& line : standardError.split('\n')) {
        if (line.startsWith("gio: ")) {
            reason = QString::fromUtf8(line.mid(5)).trimmed();
        }
    }
    if (reason.contains(QLatin1String("://"))) {
        const qsizetype colon = reason.indexOf(QLatin1String(": "));
        if (colon > 0) {
            reason = reason.mid(colon + 2);
        }
    }
    return reason;
}

// Answers the prompt that `pending` ends with, if it is one; false when the prompt must
// not be answered (asked twice, or unknown), so the input is to be closed.
bool AnswerPrompt(QProcess& gio, const QString& prompt, const GioAnswers& answers,
                  bool& passwordGiven) {
    QString answer;
    if (prompt.startsWith(QLatin1String("User"))) {
        answer = answers.user;
    } else if (prompt.startsWith(QLatin1String("Domain"))) {
        answer = answers.domain;
    } else if (prompt.startsWith(QLatin1String("Password")) && !passwordGiven) {
        passwordGiven = true;
        answer = answers.password;
    } else {
        return false;
    }
    gio.write(answer.toUtf8() + '\n');
    return true;
}

}  // namespace

GioResult RunGio(const QStringList& arguments, const GioAnswers* answers, int timeoutMs) {
    GioResult result;
    QProcess gio;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    gio.setProcessEnvironment(environment);
    const QDeadlineTimer deadline(timeoutMs);
    gio.start(GioProgram(), arguments);
    if (!gio.waitForStarted(static_cast<int>(deadline.remainingTime()))) {
        result.error = gio.errorString();
        return result;
    }
    if (answers == nullptr) {
        gio.closeWriteChannel();
    }
    bool passwordGiven = false;
    QString pending;  // what gio printed since the last answered prompt
    while (gio.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        gio.waitForReadyRead(100);
        const QByteArray output = gio.readAllStandardOutput();
        result.output += output;
        pending += QString::fromUtf8(output);
        if (answers != nullptr && pending.endsWith(QLatin1String(": "))) {
            const QString prompt = pending.mid(pending.lastIndexOf(u'\n') + 1);
            pending.clear();
            if (!AnswerPrompt(gio, prompt, *answers, passwordGiven)) {
                gio.closeWriteChannel();
            }
        }
    }
    if (gio.state() != QProcess::NotRunning) {
        gio.kill();
        gio.waitForFinished(-1);
        result.error = QStringLiteral("gio did not finish within %1 seconds").arg(timeoutMs / 1000);
        return result;
    }
    result.output += gio.readAllStandardOutput();
    result.ok = gio.exitStatus() == QProcess::NormalExit && gio.exitCode() == 0;
    if (!result.ok) {
        result.error = ErrorOfGio(gio.readAllStandardError());
        if (result.error.isEmpty()) {
            result.error = QStringLiteral("gio ended with exit code %1").arg(gio.exitCode());
        }
    }
    return result;
}

}  // namespace corvane
