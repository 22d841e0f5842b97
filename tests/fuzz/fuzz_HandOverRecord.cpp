// The hand-over record that a second program sends over the local channel: any bytes
// decode or are refused, and a decoded argument encodes back to the same record.

#include <cstring>

#include "FuzzSupport.h"
#include "app/HandOverRecord.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray record(reinterpret_cast<const char*>(data), qsizetype(size));
    QString argument;
    if (HandOverRecord::Decode(record, argument)) {
        fuzz::Require(HandOverRecord::Fits(argument), "a decoded argument fits");
        bool cut = true;
        const QByteArray again = HandOverRecord::Encode(argument, &cut);
        fuzz::Require(!cut, "a decoded argument encodes whole");
        QString back;
        fuzz::Require(HandOverRecord::Decode(again, back) && back == argument,
                      "the argument survives the round trip");
    }

    // The same bytes as an argument of any length (UTF-16 units of the input).
    QString text(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(text.data(), data, size / 2 * 2);  // the input need not be aligned
    bool cut = false;
    const QByteArray encoded = HandOverRecord::Encode(text, &cut);
    fuzz::Require(encoded.size() == HandOverRecord::kSize, "a record is 520 bytes");
    QString decoded;
    fuzz::Require(HandOverRecord::Decode(encoded, decoded), "an encoded record decodes");
    fuzz::Require(text.startsWith(decoded), "the record keeps the start of the argument");
    fuzz::Require(cut == (decoded.size() < text.size()), "a cut is reported");
    return 0;
}
