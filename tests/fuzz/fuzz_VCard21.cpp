// vCard 2.1 cards of a backup: any bytes read without writing anything, and a card written
// from what was read reads back the same (after the one normalisation of line breaks and
// of dates the format cannot carry).

#include <QBuffer>

#include "FuzzSupport.h"
#include "sources/VCard21.h"
#include "sources/VCard21Reader.h"

using namespace corvane;

namespace {

VCard21Read ReadBytes(QByteArray bytes, Contact& contact) {
    QBuffer buffer(&bytes);
    fuzz::Require(buffer.open(QIODevice::ReadOnly), "a buffer opens");
    return ReadVCard21Lines(buffer, contact);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::DropLogLines();
    // Escaping may double a value: only inputs whose cards stay below the line limit.
    if (size > kMaxVCard21LineBytes / 2) {
        return 0;
    }
    Contact first;
    if (ReadBytes(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)),
                  first)
            .state != VCard21Read::State::kRead) {
        return 0;
    }
    (void)ContactFileName(first);
    Contact second;
    fuzz::Require(ReadBytes(VCard21Text(first), second).state == VCard21Read::State::kRead,
                  "a written card reads");
    Contact third;
    fuzz::Require(ReadBytes(VCard21Text(second), third).state == VCard21Read::State::kRead,
                  "a card written again reads");
    fuzz::Require(third == second, "a written card reads back the same");
    const QString fileName = ContactFileName(third);
    fuzz::Require(!fileName.contains(QLatin1Char('/')) && fileName.toUtf8().size() <= 255,
                  "a file name stays inside its folder");
    return 0;
}
