#pragma once

// The extra field of a ZIP directory entry: a run of blocks, each a 16-bit tag, a 16-bit
// data length and the data (little-endian throughout).
//
// Thread safety: pure functions.

#include <QByteArray>
#include <QtGlobal>
#include <optional>

namespace corvane {

// The data of the first block with `tag`; false when there is none or the blocks run
// past the end of the field (a damaged field is not read further).
bool FindZipExtraBlock(const QByteArray& extraField, quint16 tag, QByteArray& data);

// The values a ZIP64 entry keeps in its "Zip64 extended information" block (tag 0x0001)
// instead of the directory entry's 32-bit fields, which then read 0xFFFFFFFF. The block
// holds, in this order and only for the fields that overflowed: the uncompressed size,
// the compressed size and the local header's offset.
struct Zip64Values {
    quint64 uncompressedSize = 0;
    quint64 compressedSize = 0;
    std::optional<quint64> localHeaderOffset;  // only when the block carries it
};

// Starts from the 32-bit fields of the directory entry and replaces those that read
// 0xFFFFFFFF by the block's values. The entry's own offset field is not given, so an
// offset is taken when the block holds eight bytes more than the sizes need.
Zip64Values ApplyZip64Extra(const QByteArray& extraField, quint64 uncompressedSize,
                            quint64 compressedSize);

// What the "AE" block (tag 0x9901) of an AES entry (method 99) says: the vendor version
// (1 = AE-1, 2 = AE-2), the key strength (1..3 for AES-128, -192, -256) and the method
// the data was compressed with. Nothing when the block is missing, not "AE", or holds a
// version or strength this reader does not know.
struct ZipAesValues {
    int version = 0;
    int strength = 0;
    quint16 method = 0;
};
std::optional<ZipAesValues> ReadZipAesExtra(const QByteArray& extraField);

}  // namespace corvane
