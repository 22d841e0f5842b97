// Property store XML from hostile bytes: loading never crashes, and what loads saves
// and loads back to the same sections.

#include "FuzzSupport.h"
#include "model/PropertyStore.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    PropertyStore store;
    const bool loaded = store.LoadXmlData(bytes);
    fuzz::Require(loaded || store.IsEmpty(), "a failed load leaves the store empty");

    // The file path reads the same bytes the same way.
    PropertyStore fromFile;
    fuzz::Require(
        fromFile.LoadXml(fuzz::WriteInput(QStringLiteral("store.xml"), data, size)) == loaded,
        "loading a file agrees with loading its bytes");
    if (!loaded) {
        return 0;
    }
    fuzz::Require(fromFile.AllSections() == store.AllSections(), "file and bytes load alike");

    const QByteArray saved = store.ToXml(QStringLiteral("root"));
    if (saved.isEmpty()) {
        return 0;  // a name or value that XML cannot carry: refused, as promised
    }
    PropertyStore reloaded;
    fuzz::Require(reloaded.LoadXmlData(saved), "what ToXml writes loads");
    fuzz::Require(reloaded.AllSections() == store.AllSections(), "the round trip keeps the values");
    for (const auto& [section, values] : store.AllSections()) {
        for (const auto& [key, value] : values) {
            (void)store.ReadNumber(section, key, 0);
        }
    }
    return 0;
}
