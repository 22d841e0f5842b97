// REGEDIT4 files: the reader hands on values only inside a key, and every value it
// reads that the writer can render reads back from that rendering as the same value.

#include "FuzzSupport.h"
#include "sources/RegFileReader.h"
#include "sources/RegFileWriter.h"

using namespace corvane;

namespace {

class CollectingSink : public RegFileSink {
  public:
    int OpenKey(RegistryHive, const QString&) override {
        m_keyOpen = true;
        return 0;
    }
    int SetValue(const RegistryValue& value) override {
        fuzz::Require(m_keyOpen, "a value comes after a key line");
        values.push_back(value);
        return 0;
    }
    std::vector<RegistryValue> values;

  private:
    bool m_keyOpen = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::DropLogLines();
    CollectingSink sink;
    RegFileReader reader(sink);
    const bool read =
        reader.Feed(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size))) &&
        reader.Finish();
    fuzz::Require(read == (reader.Error() == 0), "a failed reading names its error");
    fuzz::Require(read || reader.ErrorLine() >= 1, "an error names its line");

    const QByteArray head = RegFileHeader() + *RenderRegKeyLine(RegistryHive::kCurrentUser, "k");
    for (const RegistryValue& value : sink.values) {
        const std::optional<QByteArray> line = RenderRegValueLine(value);
        if (!line) {
            continue;
        }
        CollectingSink again;
        RegFileReader rereader(again);
        fuzz::Require(rereader.Feed(head + *line) && rereader.Finish(), "a rendered value reads");
        fuzz::Require(again.values.size() == 1 && RenderRegValueLine(again.values[0]) == line,
                      "a rendered value reads back as the same value");
    }
    return 0;
}
