#pragma once

// One run of the `gio` tool ($CORVANE_GIO when set and not empty), in the C locale so
// that its prompts and "local path:" lines read the same everywhere.
//
// Thread safety: any thread; each call starts its own process and waits for it.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace corvane {

// What gio may ask while it mounts: the answers written to its standard input, each once.
struct GioAnswers {
    QString user;
    QString domain;  // empty: gio's default
    QString password;
};

struct GioResult {
    bool ok = false;  // started, ended normally with exit code 0
    QByteArray output;
    // Why it failed, from gio's last "gio: " line (without the location it names), or
    // the reason it could not be started or did not end in time.
    QString error;
};

// Runs gio with `arguments`. With `answers`, the "User", "Domain" and "Password" prompts
// are answered from them; a prompt asked again (a refused password) or any other
// question closes the input, which makes gio give up instead of waiting forever.
GioResult RunGio(const QStringList& arguments, const GioAnswers* answers = nullptr,
                 int timeoutMs = 60000);

}  // namespace corvane
