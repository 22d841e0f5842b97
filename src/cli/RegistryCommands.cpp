#include "cli/RegistryCommands.h"

#include <cstring>

#include "app/ExitCode.h"
#include "log/Log.h"
#include "log/TerminalLogTarget.h"
#include "sources/RegistryFile.h"

namespace corvane {
namespace {

int UsageError(std::FILE* err) {
    std::fputs(
        "Error: reg needs export KEY FILE or import FILE\n"
        "Run corvane-cli --help for the commands.\n",
        err);
    return kExitUsage;
}

// The failure line after what the layer logged: what was asked, and why it failed.
int Failed(std::FILE* err, const char* what, const QString& subject) {
    const int error = LastRegistryFileError();
    std::fprintf(err, "Error: cannot %s %s: %s\n", what, qUtf8Printable(subject),
                 error != 0 ? std::strerror(error) : "unknown reason");
    return kExitFailed;
}

}  // namespace

int RegistryCommand(const QStringList& args, std::FILE* err) {
    const QString action = args.value(0);
    const bool exporting = action == QLatin1String("export") && args.size() == 3;
    const bool importing = action == QLatin1String("import") && args.size() == 2;
    if ((!exporting && !importing) || args.contains(QString())) {
        return UsageError(err);
    }
    // The layer logs where a step fails: those lines are the detail of the error.
    TerminalLogTarget log(err);
    SetLogTarget(&log);
    const bool done =
        exporting ? ExportRegistryItem(args.at(1), args.at(2)) : ImportRegFile(args.at(1));
    SetLogTarget(nullptr);
    if (done) {
        return kExitOk;
    }
    return exporting ? Failed(err, "export", args.at(1)) : Failed(err, "import", args.at(1));
}

}  // namespace corvane
