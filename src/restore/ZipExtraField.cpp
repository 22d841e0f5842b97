#include "restore/ZipExtraField.h"

namespace corvane {

namespace {

constexpr quint16 kZip64Tag = 0x0001;
constexpr quint16 kAesTag = 0x9901;
constexpr quint64 kOverflow32 = 0xFFFFFFFFu;

quint64 ReadLe(const char* p, int bytes) {
    quint64 value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(p[i]);
    }
    return value;
}

}  // namespace

bool FindZipExtraBlock(const QByteArray& extraField, quint16 tag, QByteArray& data) {
    qsizetype at = 0;
    while (at + 4 <= extraField.size()) {
        const auto blockTag = quint16(ReadLe(extraField.constData() + at, 2));
        const auto size = qsizetype(ReadLe(extraField.constData() + at + 2, 2));
        const qsizetype start = at + 4;
        if (start + size > extraField.size()) {
            return false;
        }
        if (blockTag == tag) {
            data = extraField.mid(start, size);
            return true;
        }
        at = start + size;
    }
    return false;
}

Zip64Values ApplyZip64Extra(const QByteArray& extraField, quint64 uncompressedSize,
                            quint64 compressedSize) {
    Zip64Values values;
    values.uncompressedSize = uncompressedSize;
    values.compressedSize = compressedSize;
    QByteArray block;
    if (!FindZipExtraBlock(extraField, kZip64Tag, block)) {
        return values;
    }
    qsizetype at = 0;
    auto next = [&](quint64& field) {
        if (at + 8 <= block.size()) {
            field = ReadLe(block.constData() + at, 8);
            at += 8;
        }
    };
    if (uncompressedSize == kOverflow32) {
        next(values.uncompressedSize);
    }
    if (compressedSize == kOverflow32) {
        next(values.compressedSize);
    }
    if (at + 8 <= block.size()) {
        values.localHeaderOffset = ReadLe(block.constData() + at, 8);
    }
    return values;
}

std::optional<ZipAesValues> ReadZipAesExtra(const QByteArray& extraField) {
    QByteArray block;
    if (!FindZipExtraBlock(extraField, kAesTag, block) || block.size() < 7 ||
        block.mid(2, 2) != "AE") {
        return std::nullopt;
    }
    ZipAesValues values;
    values.version = int(ReadLe(block.constData(), 2));
    values.strength = static_cast<unsigned char>(block[4]);
    values.method = quint16(ReadLe(block.constData() + 5, 2));
    if ((values.version != 1 && values.version != 2) || values.strength < 1 ||
        values.strength > 3) {
        return std::nullopt;
    }
    return values;
}

}  // namespace corvane
