#pragma once

// Runs one command of the system scheduler (systemctl, crontab) and keeps what it said.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace corvane {

struct CommandResult {
    bool ok = false;  // started, finished within the time and exited with 0
    QByteArray out;
    QByteArray err;
};

// The program named by the environment variable `overrideVariable` when it is set, else
// `program`; `input` goes to its standard input.
CommandResult RunSchedulerCommand(const char* overrideVariable, const QString& program,
                                  const QStringList& arguments, const QByteArray& input = {});

}  // namespace corvane
