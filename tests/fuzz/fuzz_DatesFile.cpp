// Dates files from an FTP server: every record decodes, and a record whose name fits
// encodes back to the same record.

#include "FuzzSupport.h"
#include "engine/DatesFile.h"

#include <cstring>

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::DropLogLines();
    std::vector<DatesRecord> records;
    const QString path = fuzz::WriteInput(QStringLiteral("dates.bin"), data, size);
    fuzz::Require(ReadDatesFile(path, records), "a readable file reads");
    fuzz::Require(records.size() == size / kDatesRecordSize, "every whole record is read");

    for (std::size_t i = 0; i < records.size(); ++i) {
        const DatesRecord& record = records[i];
        const char* bytes = reinterpret_cast<const char*>(data) + i * kDatesRecordSize;
        fuzz::Require(DecodeDatesRecord(bytes) == record, "the file reads as its records decode");
        (void)FileTimeToUnixSeconds(record.writeTime);
        if (record.name.size() <= kDatesNameMaxUnits) {
            const QByteArray encoded = EncodeDatesRecord(record);
            fuzz::Require(encoded.size() == kDatesRecordSize, "a record is 552 bytes");
            fuzz::Require(DecodeDatesRecord(encoded.constData()) == record,
                          "a record survives encoding");
        }
    }
    if (size >= 16) {
        qint64 seconds = 0;
        qint64 nanoseconds = 0;
        std::memcpy(&seconds, data, 8);
        std::memcpy(&nanoseconds, data + 8, 8);
        (void)UnixToFileTime(seconds, nanoseconds);
    }
    return 0;
}
