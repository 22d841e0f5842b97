#pragma once

// How reading one of our files went. A file that is missing is no fault (the program
// starts empty); a file that exists but cannot be read is, and whatever it held must
// survive: the caller never writes over it.

#include <QString>
#include <QtGlobal>

namespace corvane {

struct FileLoad {
    enum class State { kRead, kMissing, kDamaged };

    State state = State::kRead;
    // Why a damaged file could not be read, for a person: "REASON at line L, column C",
    // or the reason alone when it is not about a place in the text.
    QString error;

    bool IsDamaged() const { return state == State::kDamaged; }
    // True only when the file was there and was read.
    explicit operator bool() const { return state == State::kRead; }

    static FileLoad Damaged(const QString& reason, qint64 line = 0, qint64 column = 0);
};

}  // namespace corvane
