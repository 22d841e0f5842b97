#include "support/HomeTree.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include "support/Tools.h"

namespace corvane::test {

QString MakeHomeTree(const TempDir& dir, const QString& name) {
    const QString home = dir.File(name);
    dir.Write(name + "/.bashrc", "alias ll='ls -l'");
    dir.Write(name + "/.config/app/settings.ini", "[a]");
    dir.Write(name + "/.cache/CACHEDIR.TAG", "Signature: 8a477f597d28d172789f06886806bc55");
    dir.Write(name + "/.cache/blob.bin", "regenerated");
    const QByteArray key = QFile::encodeName(dir.Write(name + "/.ssh/id_key", "k"));
    const QByteArray script = QFile::encodeName(dir.Write(name + "/bin/run.sh", "#!/bin/sh"));
    int failed = ::chmod(key.constData(), 0600) | ::chmod(script.constData(), 0755) |
                 ::chmod(QFile::encodeName(home + "/.ssh").constData(), 0700);
    for (const auto& [target, link] : {std::pair{"run.sh", "bin/latest"},
                                       {".config", "cfg"},
                                       {"missing", "dangling"},
                                       {"loop", "loop"}}) {
        failed |= ::symlink(target, QFile::encodeName(home + "/" + link).constData());
    }
    failed |= ::mkfifo(QFile::encodeName(home + "/pipe").constData(), 0600);
    return failed == 0 ? home : QString();
}

QString HomeDifferences(const QString& home, const QString& copy) {
    const ToolResult diff =
        RunTool("diff", {"-r", "--no-dereference", "-x", "pipe", "-x", "blob.bin", home, copy});
    const ToolResult modes = RunTool("/usr/bin/python3", {"-c", R"(
import os, sys
def modes(top):
    return {os.path.relpath(os.path.join(d, n), top): os.lstat(os.path.join(d, n)).st_mode
            for d, dirs, files in os.walk(top) for n in dirs + files if n not in ('pipe', 'blob.bin')}
a, b = modes(sys.argv[1]), modes(sys.argv[2])
d = sorted((k, oct(v), oct(b.get(k, 0))) for k, v in a.items() if v != b.get(k)), b.keys() - a.keys()
print(d)
sys.exit(d != ([], set()))
)",
                                                          home, copy});
    if (diff.exitCode == 0 && modes.exitCode == 0) {
        return QString();
    }
    return diff.output + modes.output;
}

}  // namespace corvane::test
