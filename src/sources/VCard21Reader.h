#pragma once

// Reading the lines of a vCard 2.1 card into a Contact, from any device (a file, or bytes
// in memory), without writing anything. A line is read up to its line break, blanks at its
// start and the break itself removed; the first line beginning with a tag (letter case
// aside) gives that tag's value, and the value is unescaped. "FN:" is never read: the name
// comes from "N:". Lines are at most kMaxVCard21LineBytes long, so a hostile file costs
// bounded memory. Bytes that are not UTF-8 are read as Latin-1, as older programs wrote
// this version.
//
// Thread safety: pure functions of their arguments.

#include <QIODevice>
#include <QtGlobal>

#include "platform/Contact.h"

namespace corvane {

inline constexpr qint64 kMaxVCard21LineBytes = qint64{1} << 20;

struct VCard21Read {
    enum class State {
        kRead,
        kEmpty,        // no line that holds more than blanks
        kNoName,       // no "N:" line: nothing to match a contact on
        kLineTooLong,  // `line` is longer than kMaxVCard21LineBytes
        kReadError,    // the device failed
    };

    State state = State::kRead;
    qint64 line = 0;  // the line that stopped the reading (from 1)
};

// Applies the card to `contact`: each tag present sets its property, an absent tag leaves
// it as it was, a date or gender that cannot be read leaves it too. `contact` is changed
// only when the answer is kRead.
VCard21Read ReadVCard21Lines(QIODevice& device, Contact& contact);

}  // namespace corvane
