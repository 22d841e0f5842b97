#pragma once

// `corvane-cli new` and `corvane-cli edit`: making and changing a task from the command
// line through the same values and checks as the window's wizard and settings sheet
// (app/TaskDraft.h, app/SourceItems.h), so a task is refused with the same message
// wherever it is made. Passwords are read from standard input, never from arguments.

#include <QStringList>
#include <cstdio>

namespace corvane {

// `args` are the words after the command. A refused value prints its message on `err`
// and answers 2 with nothing saved; success saves the task list and the group list at
// once and prints "New task added" / "Task was changed".
int NewTaskCommand(const QString& dataFolder, const QStringList& args, std::FILE* out,
                   std::FILE* err);
int EditTaskCommand(const QString& dataFolder, const QStringList& args, std::FILE* out,
                    std::FILE* err);

// Reads one line from standard input, its line break dropped.
QString ReadStandardInputLine();

}  // namespace corvane
