#pragma once

// The record in which a second program hands its command-line argument (a task name,
// usually in the launcher's /"Name" form) to the program that already runs: 260 UTF-16
// code units, little-endian, holding the argument and a NUL terminator, the rest zero.
// 520 bytes whatever the argument; data tag 746 marks it on the channel.

#include <QByteArray>
#include <QString>

namespace corvane {

class HandOverRecord {
  public:
    static constexpr quint32 kDataTag = 746;
    static constexpr int kUnits = 260;
    static constexpr int kSize = kUnits * 2;  // bytes
    // The longest argument that fits beside the terminator.
    static constexpr int kMaxArgumentUnits = kUnits - 1;

    // True when the argument fits the record whole.
    static bool Fits(const QString& argument) { return argument.size() <= kMaxArgumentUnits; }

    // The 520 bytes of the record. A longer argument is cut to 259 code units, one less
    // when the 259th would be the first half of a surrogate pair; `cut` (optional) tells
    // whether anything was left out.
    static QByteArray Encode(const QString& argument, bool* cut = nullptr);

    // The argument in a record: the units up to the first NUL. False (and `argument`
    // untouched) when the record is not 520 bytes or holds no terminator.
    static bool Decode(const QByteArray& record, QString& argument);
};

}  // namespace corvane
