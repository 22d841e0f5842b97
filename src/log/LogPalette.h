#pragma once

// The sixteen colours of the log. A line carries palette indexes, not colours, so the
// window and the terminal can each draw them in their own way.

#include <QtGlobal>

namespace corvane {

// Palette indexes that the line rules use.
inline constexpr int kLogBlack = 0;
inline constexpr int kLogWhite = 1;
inline constexpr int kLogDarkGreen = 3;
inline constexpr int kLogRed = 10;
inline constexpr int kLogBlue = 13;
inline constexpr int kLogCyan = 15;

inline constexpr int kLogPaletteSize = 16;

struct LogColour {
    quint8 red = 0;
    quint8 green = 0;
    quint8 blue = 0;

    bool operator==(const LogColour&) const = default;
};

// The colour drawn for a palette index. An index outside 0..15 draws as index 0.
LogColour LogPaletteColour(int index);

}  // namespace corvane
