// ZIP archives from a backup medium, which may be hostile: central directory, extra
// fields, ZIP64 and encrypted headers. Every entry is extracted, with and without a
// password, flattened and whole; nothing may land outside the target folder, and the
// walk visits no more entries than the archive counts.

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "FuzzSupport.h"
#include "restore/ZipReader.h"

using namespace corvane;

namespace {

std::filesystem::path AsPath(const QString& path) {
    return std::filesystem::path(FileNameToBytes(path).toStdString());
}

// The names in the folder besides `keep`, which must be all there is.
bool HoldsOnly(const QString& folder, const std::vector<std::string>& keep) {
    std::error_code error;
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(AsPath(folder), error)) {
        const std::string name = entry.path().filename().string();
        if (std::find(keep.begin(), keep.end(), name) == keep.end()) {
            std::fprintf(stderr, "fuzz: stray entry '%s'\n", name.c_str());
            return false;
        }
        ++count;
    }
    return !error && count <= keep.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::DropLogLines();
    const QString archive = fuzz::WriteInput(QStringLiteral("in.zip"), data, size);
    const QString target = fuzz::WorkFolder() + QStringLiteral("/out");
    {
        ZipReader reader;
        if (!reader.Open(archive)) {
            return 0;
        }
        const quint64 count = reader.Count();
        quint64 visited = 0;
        for (bool more = reader.First(); more; more = reader.Next()) {
            fuzz::Require(++visited <= count, "the walk ends after the counted entries");
            const ZipEntryInfo& info = reader.Info();
            const bool written = reader.Extract(target, false, QString());
            fuzz::Require(!written || IsSafeEntryName(info.name),
                          "an unsafe name is never written");
            if (info.encrypted) {
                (void)reader.Extract(target, false, QStringLiteral("secret"));
            }
            (void)reader.Extract(target, true, QStringLiteral("secret"));
            fuzz::Require(HoldsOnly(fuzz::WorkFolder(), {"in.zip", "out"}),
                          "nothing is written beside the target folder");
        }
        // Extension filters walk the same directory.
        for (bool more = reader.First(QStringLiteral("vcf")); more;
             more = reader.Next(QStringLiteral("vcf"))) {
        }
    }
    std::error_code error;
    std::filesystem::remove_all(AsPath(target), error);
    fuzz::Require(!error, "the target folder can be removed");
    return 0;
}
