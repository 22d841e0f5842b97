#pragma once

// The terminal as the log target and progress indicator of a run without a window: log
// lines go to the output stream as the log window would show them; when the error
// stream is a terminal, one line there shows the progress label and percentage and is
// redrawn in place. Main thread only: the worker reaches it through the queued
// adapters of the log layer.

#include <QString>
#include <cstdio>
#include <optional>

#include "log/LogTarget.h"
#include "log/ProgressModel.h"
#include "log/ProgressTarget.h"
#include "log/TerminalLogTarget.h"

namespace corvane {

class TerminalConsole : public LogTarget, public ProgressTarget {
  public:
    TerminalConsole(std::FILE* out, std::FILE* err);
    ~TerminalConsole() override;

    void AppendLine(const LogLine& line) override;
    void Clear() override {}

    void Show() override;
    void SetLabel(const QString& label) override;
    void SetRange(int lower, int upper) override;
    void SetPosition(int position) override;
    void Hide() override;

    // Shows `prompt` on the error stream and reads one line from standard input with
    // the echo off. Nothing when standard input is no terminal or the input ends.
    std::optional<QString> AskHidden(const QString& prompt);

  private:
    void EraseProgress();
    void DrawProgress();

    TerminalLogTarget m_terminal;
    std::FILE* m_err;
    bool m_showProgress;
    ProgressModel m_progress;
    QString m_drawn;  // the progress text on the screen, empty when none
};

}  // namespace corvane
