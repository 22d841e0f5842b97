#include "log/TerminalLogTarget.h"

#include <unistd.h>
#include <QByteArray>

namespace corvane {

namespace {

// SGR foreground codes of the palette indexes: the palette is the classic sixteen-colour
// set, which the terminal's eight normal (30-37) and eight bright (90-97) colours mirror.
// 0 (black) keeps the terminal's own text colour.
constexpr int kForeground[kLogPaletteSize] = {
    0,   // 0 black: default
    97,  // 1 white
    31,  // 2 dark red
    32,  // 3 dark green
    33,  // 4 olive
    34,  // 5 navy
    35,  // 6 purple
    36,  // 7 teal
    37,  // 8 silver
    90,  // 9 grey
    91,  // 10 red
    92,  // 11 green
    93,  // 12 yellow
    94,  // 13 blue
    95,  // 14 magenta
    96,  // 15 cyan
};

// The text as UTF-8 with control characters (C0, DEL, C1) shown as '?': a file name
// holding an escape sequence must not drive the terminal.
QByteArray PrintableUtf8(const QString& text) {
    QString printable = text;
    for (QChar& c : printable) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t') || (u >= 0x7F && u <= 0x9F)) {
            c = QLatin1Char('?');
        }
    }
    return printable.toUtf8();
}

bool IsTerminal(std::FILE* stream) {
    const int descriptor = fileno(stream);
    return descriptor >= 0 && isatty(descriptor) == 1;
}

}  // namespace

TerminalLogTarget::TerminalLogTarget(std::FILE* stream, Colours colours)
    : m_stream(stream),
      m_colours(colours == Colours::Always || (colours == Colours::Auto && IsTerminal(stream))) {}

void TerminalLogTarget::AppendLine(const LogLine& line) {
    // Indexes outside the palette draw as 0, as in the window.
    const int index =
        line.textColour >= 0 && line.textColour < kLogPaletteSize ? line.textColour : kLogBlack;
    const int code = m_colours ? kForeground[index] : 0;
    QByteArray text;
    if (code != 0) {
        text = "\x1b[" + QByteArray::number(code) + 'm' + PrintableUtf8(line.text) + "\x1b[0m\n";
    } else {
        text = PrintableUtf8(line.text) + '\n';
    }
    // One write under the stream's lock, flushed at once so a log read while the run
    // goes on (a pipe, a file) is complete up to the last line.
    flockfile(m_stream);
    std::fputs(text.constData(), m_stream);
    std::fflush(m_stream);
    funlockfile(m_stream);
}

void TerminalLogTarget::Clear() {}

}  // namespace corvane
