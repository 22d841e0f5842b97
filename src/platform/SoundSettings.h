#pragma once

// The user's choices for the five event sounds of the program ("Program started",
// "Task added", "Task completed", "Task failed", "Shutdown now", numbered 1 to 5), kept
// in QSettings("Tarnis", "Tarnis") under "Main" as "SndItem%dPlay" (integer, absent
// counts as 1) and "SndItem%dFile" (path, absent is empty).
//
// Nothing is cached: every call reads or writes the settings file, so a change saved in
// the Sounds dialog counts from the next event on. Main thread only (QSettings objects
// of one file are not shared between threads here).

#include <QString>

namespace corvane {

inline constexpr int kFirstSoundEvent = 1;
inline constexpr int kLastSoundEvent = 5;

// True when the event's sound is enabled. An event number outside 1..5 is never
// enabled.
bool IsSoundEnabled(int event);

// The event's sound file, empty when none was chosen or the number is outside 1..5.
QString GetSoundFile(int event);

// Store the flag (as 1 or 0) and the path (unchanged). Event numbers outside 1..5 are
// ignored.
void SetSoundEnabled(int event, bool enabled);
void SetSoundFile(int event, const QString& path);

}  // namespace corvane
