// Date patterns in user text: any text and any calendar fields expand, and no token is
// left in (or made by) the result.

#include <cstring>

#include "FuzzSupport.h"
#include "model/DatePattern.h"

using namespace corvane;

namespace {

bool HoldsToken(const QString& text) {
    for (const char* token : {"#DD", "#MM", "#YY", "#HH", "#MIN"}) {
        if (text.contains(QLatin1String(token))) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first bytes give the fields (any values, as a damaged task file may hold),
    // the rest the text.
    CalendarTime moment;
    const size_t fieldBytes = std::min(size, sizeof moment);
    std::memcpy(&moment, data, fieldBytes);
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data) + fieldBytes,
                                           qsizetype(size - fieldBytes));

    fuzz::Require(ExpandDatePattern(text, nullptr) == text, "no moment, no change");
    const QString expanded = ExpandDatePattern(text, &moment);
    fuzz::Require(!HoldsToken(expanded), "every token is replaced");

    TaskRecord task;
    task.destination.path = text;
    task.archiveName = text;
    const QString folder = ResolvedDestFolder(task, moment);
    fuzz::Require(folder.isEmpty() || folder.endsWith(QLatin1Char('/')), "a folder ends in /");
    fuzz::Require(ResolvedArchiveName(task, moment) == expanded, "archive names expand alike");
    return 0;
}
