#pragma once

// One line of the log and the rules that turn a logged text into it: colour, time
// stamp, blanks for line breaks, the length limit, and the one-string item form in
// which the log list keeps its lines. All functions here are pure and may be called
// from any thread.

#include <QString>
#include <ctime>

#include "log/LogPalette.h"

namespace corvane {

struct LogLine {
    int textColour = kLogBlack;  // palette index
    int backColour = kLogWhite;  // palette index
    QString text;                // as shown: time stamp included, no line breaks

    bool operator==(const LogLine&) const = default;
};

// Text colour of a logged text: black; blue when it begins with two spaces, cyan with
// four; red when it contains "Error: " or "error: "; dark green when it contains
// "Warning: " or "warning: " (which wins over red).
int LogTextColour(const QString& text);

// True when a text gets a time stamp: it is not empty and does not begin with a space.
bool NeedsTimeStamp(const QString& text);

// The stamp put in front of such a line: "%c: " of the local time `time`, formatted by
// strftime in the user's locale (the locale the environment names, whatever the process
// has set), at most 127 characters; empty when the formatted stamp would be longer.
QString LogTimeStamp(std::time_t time);

// The text cut to its first kMaxLogLineLength characters (Unicode characters: a
// surrogate pair is never split).
QString CutLogText(const QString& text);

// The line shown for a logged text at the time `now`: the text is cut, its colour and
// stamp are decided on the text as logged, the stamp is put in front, and every CR and
// LF becomes a blank. The background is white.
LogLine MakeLogLine(const QString& text, std::time_t now);

// Item form of a line: first character text colour + 1, second background colour + 1
// (so the header never holds a NUL), then the text. Colours are limited to 0..65534.
QString EncodeLogItem(const LogLine& line);

// The line of an item. An item shorter than 3 characters has an empty text; a missing
// header character leaves its colour at the default (black text, white background).
LogLine DecodeLogItem(const QString& item);

}  // namespace corvane
