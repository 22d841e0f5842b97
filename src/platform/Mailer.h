#pragma once

// Mail notices of critical failures, handed to the system's mail transport: the
// sendmail interface ("sendmail -t", as msmtp, postfix and exim install it), with the
// message on standard input. The mail account selects an msmtp account ("-a"); it is
// passed only when the program is msmtp (also behind a link named sendmail), since the
// others read "-a" otherwise or not at all.
//
// User text (address, subject, body, account) never passes through a shell: the
// program is started with an argument list, and the address and subject cannot add
// header lines. A Mailer belongs to the thread that uses it; SendNotification makes
// its own, so any thread may call it (the worker does).

#include <QByteArray>
#include <QString>

namespace corvane {

class Mailer {
  public:
    // Program: $CORVANE_SENDMAIL when set and not empty, else "sendmail" found on PATH
    // or in /usr/sbin or /usr/lib. Time-out: kDefaultTimeoutMs.
    Mailer();

    static constexpr int kDefaultTimeoutMs = 60000;

    // A program name or path to use instead (an empty string: none found).
    void SetProgram(const QString& program) { m_program = program; }
    const QString& Program() const { return m_program; }
    // How long one message may take, from the start of the program to its end.
    void SetTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

    // Sends one message to `address` and logs the outcome: "  Send mail message to
    // '%s'" when the program ended with status 0, else "  Warning: Send mail to '%s'
    // failed" (no program, an address that would break the header, a start failure, a
    // non-zero status, a crash, or the time-out, after which the program is killed).
    // Answers the same outcome. Blocks until the program ends or the time-out.
    bool Send(const QString& account, const QString& address, const QString& subject,
              const QString& body) const;

    // The message as the program reads it: "To:", "Subject:", MIME headers when the
    // subject or the body is not plain ASCII (UTF-8, the subject as encoded words), a
    // blank line and the body, lines ending in "\n". Line breaks in the subject become
    // blanks. Empty when the address holds a line break or another control character.
    static QByteArray ComposeMessage(const QString& address, const QString& subject,
                                     const QString& body);

  private:
    QString m_program;
    int m_timeoutMs = kDefaultTimeoutMs;
};

// Sends a notice through a default Mailer; the outcome goes to the log only.
void SendNotification(const QString& account, const QString& address, const QString& subject,
                      const QString& body);

}  // namespace corvane
