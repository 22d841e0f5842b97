#pragma once

// Prints log lines to a terminal or file, one line of text each, as the window shows
// them (time stamp included). Used by the command-line tool.
//
// Thread-safe: every line is written with one locked write and flushed, so lines that
// two threads log never interleave. The stream stays owned by the caller and must
// outlive this object.

#include <cstdio>

#include "log/LogTarget.h"

namespace corvane {

class TerminalLogTarget : public LogTarget {
  public:
    // Colours as ANSI escape sequences: when the stream is a terminal (Auto), always,
    // or never.
    enum class Colours { Auto, Always, Never };

    explicit TerminalLogTarget(std::FILE* stream = stdout, Colours colours = Colours::Auto);

    bool UsesColours() const { return m_colours; }

    // Writes the line and a line feed, control characters shown as "?". In colour, the text colour
    // is drawn in the terminal's colour nearest the palette's; black, the colour of plain lines, is
    // left to the terminal's own text colour so it stays readable on a dark background.
    // The background colour is not drawn: the terminal's own background stands in for
    // the window's white.
    void AppendLine(const LogLine& line) override;
    // A terminal cannot take back what it printed: nothing happens.
    void Clear() override;

  private:
    std::FILE* m_stream;
    bool m_colours;
};

}  // namespace corvane
