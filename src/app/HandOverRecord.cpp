#include "app/HandOverRecord.h"

#include <QtEndian>

namespace corvane {

QByteArray HandOverRecord::Encode(const QString& argument, bool* cut) {
    qsizetype length = argument.size();
    if (length > kMaxArgumentUnits) {
        length = kMaxArgumentUnits;
        // Never keep half of a character outside the basic plane.
        if (argument.at(length - 1).isHighSurrogate()) {
            --length;
        }
    }
    // A NUL inside the argument would end it early on the other side: stop there too, so
    // both sides agree on what was sent.
    const qsizetype nul = argument.left(length).indexOf(QChar(u'\0'));
    if (nul >= 0) {
        length = nul;
    }
    if (cut != nullptr) {
        *cut = length < argument.size();
    }
    QByteArray record(kSize, '\0');  // terminator and padding included
    uchar* bytes = reinterpret_cast<uchar*>(record.data());
    for (qsizetype i = 0; i < length; ++i) {
        qToLittleEndian<quint16>(argument.at(i).unicode(), bytes + 2 * i);
    }
    return record;
}

bool HandOverRecord::Decode(const QByteArray& record, QString& argument) {
    if (record.size() != kSize) {
        return false;
    }
    const uchar* bytes = reinterpret_cast<const uchar*>(record.constData());
    QString text;
    for (int i = 0; i < kUnits; ++i) {
        const quint16 unit = qFromLittleEndian<quint16>(bytes + 2 * i);
        if (unit == 0) {
            argument = text;
            return true;
        }
        text.append(QChar(unit));
    }
    return false;  // no terminator: not a record a sender of ours wrote
}

}  // namespace corvane
