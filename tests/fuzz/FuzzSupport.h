#pragma once

// What the fuzz targets share: a log target that formats every line and drops it (so the
// formatting of hostile text runs too, without memory that grows over millions of
// inputs), a private folder for inputs that the code under test reads from a path, and
// checks that stop the run when a promise of the public interface is broken.

#include <QByteArray>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "log/Log.h"
#include "log/LogTarget.h"
#include "model/FileName.h"

namespace corvane::fuzz {

class DroppingLogTarget : public LogTarget {
  public:
    void AppendLine(const LogLine&) override {}
    void Clear() override {}
};

// Registers the dropping log target once per process.
inline void DropLogLines() {
    static DroppingLogTarget target;
    static const bool registered = (SetLogTarget(&target), true);
    (void)registered;
}

// A folder of the process, removed at exit.
inline const QString& WorkFolder() {
    static QTemporaryDir folder;
    if (!folder.isValid()) {
        std::fprintf(stderr, "fuzz: no temporary folder\n");
        std::abort();
    }
    static const QString path = folder.path();
    return path;
}

// Writes the input to `name` in the work folder and answers its path.
inline QString WriteInput(const QString& name, const uint8_t* data, size_t size) {
    const QString path = WorkFolder() + QLatin1Char('/') + name;
    std::FILE* file = std::fopen(FileNameToBytes(path).constData(), "wb");
    const bool written = file != nullptr && std::fwrite(data, 1, size, file) == size;
    if (file == nullptr || std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "fuzz: cannot write the input file\n");
        std::abort();
    }
    return path;
}

// Stops the run with a message when a promise does not hold (libFuzzer keeps the input).
inline void Require(bool promise, const char* what) {
    if (!promise) {
        std::fprintf(stderr, "fuzz: broken promise: %s\n", what);
        std::abort();
    }
}

}  // namespace corvane::fuzz
