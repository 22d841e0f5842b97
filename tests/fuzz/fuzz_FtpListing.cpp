// FTP listings from a hostile server: each line is read as MLSD and as LIST, and every
// name given back is one that may be used as a path component.

#include "FuzzSupport.h"
#include "transport/FtpListing.h"

using namespace corvane;

namespace {

void CheckEntry(FtpListingLine kind, const QString& name) {
    if (kind == FtpListingLine::kFile || kind == FtpListingLine::kFolder) {
        fuzz::Require(IsUsableListingName(name), "a listed entry has a usable name");
        fuzz::Require(name != QLatin1String(".") && name != QLatin1String("..") &&
                          !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')),
                      "a listed name stays inside the folder");
    }
}

void CheckLine(const QString& line) {
    QString name;
    CheckEntry(ParseMlsdLine(line, name), name);
    name.clear();
    CheckEntry(ParseListLine(line, name), name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Servers send bytes: each line is read as UTF-8 text and as a byte name (stray
    // bytes escaped), the two ways a session may decode it.
    const QByteArray listing(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QByteArray& line : listing.split('\n')) {
        CheckLine(QString::fromUtf8(line));
        CheckLine(FileNameFromBytes(line));
    }
    return 0;
}
