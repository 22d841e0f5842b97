#include "platform/Mailer.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "log/Log.h"

namespace corvane {
namespace {

// Raw bytes per encoded word: 45 bytes make 60 base64 characters, which keeps each
// word with its "=?UTF-8?B?" and "?=" within the 75 characters mail allows.
constexpr int kEncodedWordBytes = 45;

bool IsPlainAscii(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() > 0x7f) {
            return false;
        }
    }
    return true;
}

bool HasControlCharacter(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            return true;
        }
    }
    return false;
}

// The subject on one line: every control character (a line break would start a new
// header) becomes a blank.
QString OneLine(const QString& text) {
    QString line = text;
    for (QChar& c : line) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            c = QLatin1Char(' ');
        }
    }
    return line;
}

// Encoded words of the UTF-8 text, folded onto continuation lines; a character is
// never split between two words.
QByteArray EncodedWords(const QString& text) {
    QByteArray result;
    QByteArray chunk;
    auto flush = [&] {
        if (chunk.isEmpty()) {
            return;
        }
        if (!result.isEmpty()) {
            result += "\n ";
        }
        result += "=?UTF-8?B?" + chunk.toBase64() + "?=";
        chunk.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype length = 1;
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() &&
            text.at(i + 1).isLowSurrogate()) {
            length = 2;
        }
        const QByteArray character = text.mid(i, length).toUtf8();
        if (chunk.size() + character.size() > kEncodedWordBytes) {
            flush();
        }
        chunk += character;
        i += length - 1;
    }
    flush();
    return result;
}

QString FindSendmail() {
    const QString fromEnv = qEnvironmentVariable("CORVANE_SENDMAIL");
    if (!fromEnv.isEmpty()) {
        return fromEnv;
    }
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("sendmail"));
    if (!onPath.isEmpty()) {
        return onPath;
    }
    // The usual places of the sendmail interface, which a user's PATH often lacks.
    return QStandardPaths::findExecutable(
        QStringLiteral("sendmail"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/lib")});
}

// Whether the program is msmtp, also behind the links through which it is often
// installed as /usr/sbin/sendmail.
bool IsMsmtp(const QString& program) {
    if (program.isEmpty()) {
        return false;
    }
    QString path = program;
    if (!path.contains(QLatin1Char('/'))) {
        path = QStandardPaths::findExecutable(path);
    }
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return QFileInfo(resolved.isEmpty() ? program : resolved).fileName() == QLatin1String("msmtp");
}

bool RunProgram(const QString& program, const QStringList& arguments, const QByteArray& message,
                int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(QIODevice::ReadWrite);
    if (!process.waitForStarted(static_cast<int>(deadline.remainingTime()))) {
        return false;
    }
    process.write(message);
    process.closeWriteChannel();
    if (!process.waitForFinished(static_cast<int>(deadline.remainingTime()))) {
        process.kill();
        process.waitForFinished(-1);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

}  // namespace

Mailer::Mailer() : m_program(FindSendmail()) {}

QByteArray Mailer::ComposeMessage(const QString& address, const QString& subject,
                                  const QString& body) {
    if (address.trimmed().isEmpty() || HasControlCharacter(address)) {
        return QByteArray();
    }
    const QString subjectLine = OneLine(subject);
    QString text = body;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const bool mime = !IsPlainAscii(subjectLine) || !IsPlainAscii(text);

    QByteArray message = "To: " + address.toUtf8() + "\n";
    message += "Subject: ";
    message += IsPlainAscii(subjectLine) ? subjectLine.toLatin1() : EncodedWords(subjectLine);
    message += "\n";
    if (mime) {
        message +=
            "MIME-Version: 1.0\n"
            "Content-Type: text/plain; charset=UTF-8\n"
            "Content-Transfer-Encoding: 8bit\n";
    }
    message += "\n";
    message += text.toUtf8();
    if (!message.endsWith('\n')) {
        message += "\n";
    }
    return message;
}

bool Mailer::Send(const QString& account, const QString& address, const QString& subject,
                  const QString& body) const {
    const QByteArray message = ComposeMessage(address, subject, body);
    // "-i": a line holding a single "." is text, not the end of the message.
    QStringList arguments{QStringLiteral("-i"), QStringLiteral("-t")};
    if (!account.isEmpty()) {
        // Other transports take "-a" for something else or refuse it: the mail then
        // goes out through their one configuration.
        if (IsMsmtp(m_program)) {
            arguments << QStringLiteral("-a") << account;
        } else {
            Log("  Warning: the mail account %s is used only with msmtp", qUtf8Printable(account));
        }
    }
    const bool sent = !message.isEmpty() && !m_program.isEmpty() &&
                      RunProgram(m_program, arguments, message, m_timeoutMs);
    if (sent) {
        Log("  Send mail message to '%s'", qUtf8Printable(address));
    } else {
        Log("  Warning: Send mail to '%s' failed", qUtf8Printable(address));
    }
    return sent;
}

void SendNotification(const QString& account, const QString& address, const QString& subject,
                      const QString& body) {
    Mailer().Send(account, address, subject, body);
}

}  // namespace corvane
