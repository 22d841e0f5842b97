#include "app/TerminalConsole.h"

#include <termios.h>
#include <unistd.h>

#include <string>

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

std::optional<QString> TerminalConsole::AskHidden(const QString& prompt) {
    if (::isatty(STDIN_FILENO) != 1) {
        return std::nullopt;
    }
    EraseProgress();
    // Echo goes off (and what was typed before the question is dropped) before the
    // prompt shows, so nothing typed after it is lost.
    termios saved{};
    const bool quiet = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        silent.c_lflag |= ECHONL;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    std::fprintf(m_err, "%s", qUtf8Printable(prompt));
    std::fflush(m_err);
    std::string line;
    int c = 0;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') {
        line.push_back(static_cast<char>(c));
    }
    if (quiet) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    }
    if (c == EOF && line.empty()) {
        return std::nullopt;
    }
    return QString::fromStdString(line);
}

void TerminalConsole::Hide() {
    m_progress.Hide();
    EraseProgress();
}

}  // namespace corvane
