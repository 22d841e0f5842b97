#include "cli/CliConsole.h"

#include <unistd.h>

namespace corvane {

CliConsole::CliConsole(std::FILE* out, std::FILE* err)
    : m_terminal(out), m_err(err), m_showProgress(::isatty(::fileno(err)) == 1) {}

CliConsole::~CliConsole() {
    EraseProgress();
}

void CliConsole::AppendLine(const LogLine& line) {
    EraseProgress();
    m_terminal.AppendLine(line);
    DrawProgress();
}

void CliConsole::EraseProgress() {
    if (!m_drawn.isEmpty()) {
        std::fputs("\r\033[K", m_err);
        std::fflush(m_err);
        m_drawn.clear();
    }
}

void CliConsole::DrawProgress() {
    if (!m_showProgress) {
        return;
    }
    const QString text = m_progress.IsVisible() ? m_progress.Text() : QString();
    if (text == m_drawn) {
        return;
    }
    EraseProgress();
    if (!text.isEmpty()) {
        std::fprintf(m_err, "%s", qUtf8Printable(text));
        std::fflush(m_err);
        m_drawn = text;
    }
}

void CliConsole::Show() {
    m_progress.Show();
    DrawProgress();
}

void CliConsole::SetLabel(const QString& label) {
    m_progress.SetLabel(label);
    DrawProgress();
}

void CliConsole::SetRange(int lower, int upper) {
    m_progress.SetRange(lower, upper);
    DrawProgress();
}

void CliConsole::SetPosition(int position) {
    m_progress.SetPosition(position);
    DrawProgress();
}

void CliConsole::Hide() {
    m_progress.Hide();
    EraseProgress();
}

}  // namespace corvane
