// Filter texts from the task list and file names from the disk: parsing and matching
// any of them ends (no run-away wildcard search) and agrees with the wildcard itself.

#include "FuzzSupport.h"
#include "engine/FileFilter.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::DropLogLines();
    // Line 1: the include filter; line 2: the exclude filter; the rest: file names.
    const QString input = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    QStringList lines = input.split(QLatin1Char('\n'));
    const QString includeText = lines.value(0);
    const QString excludeText = lines.value(1);
    (void)IsWellFormedFilter(includeText);
    const FileFilter include = MakeIncludeFilter(includeText);
    const FileFilter exclude = MakeExcludeFilter(excludeText);

    FileList list;
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QString name = lines[i].toLower();
        fuzz::Require(Wildcard(name, name), "a name matches itself");
        fuzz::Require(Wildcard(name, u"*"), "a star matches every name");
        for (const QString& pattern : include.Patterns()) {
            (void)Wildcard(name, pattern);
        }
        if (!include.IsEnabled()) {
            fuzz::Require(include.Matches(name), "an empty include filter lets all through");
        }
        if (!exclude.IsEnabled()) {
            fuzz::Require(!exclude.Matches(name), "an empty exclude filter drops nothing");
        }
        list.push_back({lines[i], kListFile});
    }
    ApplyFilters(list, include, exclude);
    return 0;
}
