#include "app/TerminalConsole.h"

#include <unistd.h>

namespace corvane {

TerminalConsole::TerminalConsole(std::FILE* out, std::FILE* err)
    : m_terminal(out), m_err(err), m_showProgress(::isatty(::fileno(err)) == 1) {}

TerminalConsole::~TerminalConsole() {
    EraseProgress();
}

void TerminalConsole::AppendLine(const LogLine& line) {
    EraseProgress();
    m_terminal.AppendLine(line);
    DrawProgress();
}

void TerminalConsole::EraseProgress() {
    if (!m_drawn.isEmpty()) {
        std::fputs("\r\033[K", m_err);
        std::fflush(m_err);
        m_drawn.clear();
    }
}

void TerminalConsole::DrawProgress() {
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

void TerminalConsole::Show() {
    m_progress.Show();
    DrawProgress();
}

void TerminalConsole::SetLabel(const QString& label) {
    m_progress.SetLabel(label);
    DrawProgress();
}

void TerminalConsole::SetRange(int lower, int upper) {
    m_progress.SetRange(lower, upper);
    DrawProgress();
}

void TerminalConsole::SetPosition(int position) {
    m_progress.SetPosition(position);
    DrawProgress();
}

void TerminalConsole::Hide() {
    m_progress.Hide();
    EraseProgress();
}

}  // namespace corvane
