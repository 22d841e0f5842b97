#pragma once

// Event sounds through Qt Multimedia (QSoundEffect, WAV files).
//
// Playing needs a running QCoreApplication: the sound is loaded and played by the event
// loop of the application's thread, so a call from another thread is carried over to
// that thread. Without an application, without an audio output device, with an empty
// path or with a file that does not exist, nothing is played and nothing is logged: a
// sound is a courtesy, never a reason for a message.

#include <QString>

namespace corvane {

// Plays the sound file of `event` (1..5) when the user enabled that event, reading the
// flag and the path now (platform/SoundSettings.h). Returns at once; the sound plays on
// while the caller goes on, and its player is released when it has ended. Answers true
// when a sound was started. Called on another thread, it hands itself over to the
// application's thread and answers false.
bool PlayEventSound(int event);

// Plays `path` and waits until it has ended, kMaxSyncPlayMs at most. Only user input is
// held back meanwhile; other events of the thread are handled. Answers true when the
// sound was played; false at once on any thread but the application's.
bool PlaySoundFileSync(const QString& path);

inline constexpr int kMaxSyncPlayMs = 5000;

// How many sounds started by PlayEventSound are still loading or playing.
int ActiveSoundCount();

}  // namespace corvane
