#include "support/DconfSandbox.h"

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include "support/Tools.h"

namespace corvane::test {
namespace {

// Starts the bus in folder $0 for the process $1 and prints its address; a detached
// watcher ends the bus and removes the folder once that process is gone.
const char kStartBus[] = R"sh(cd "$0" || exit 1
for t in dbus-daemon dconf /usr/libexec/dconf-service; do
    command -v $t >/dev/null || { echo "missing $t"; exit 1; }
done
dbus-daemon --session --fork --print-address=1 --print-pid=1 >bus.txt 2>bus.err || exit 1
pid=$(sed -n 2p bus.txt)
(trap '' HUP; while kill -0 "$1" 2>/dev/null; do sleep 1; done
 kill "$pid" 2>/dev/null; sleep 0.2; rm -rf "$0") </dev/null >/dev/null 2>&1 &
sed -n 1p bus.txt)sh";

QString PackageOf(const QString& missing) {
    if (missing.contains("dbus-daemon")) {
        return QStringLiteral("dbus-daemon");
    }
    return missing.contains("dconf-service") ? QStringLiteral("dconf-service")
                                             : QStringLiteral("dconf-cli");
}

}  // namespace

DconfSandbox& DconfSandbox::Get() {
    static DconfSandbox* sandbox = new DconfSandbox;  // lives as long as the process
    return *sandbox;
}

DconfSandbox::DconfSandbox() {
    QByteArray pattern = QDir::tempPath().toUtf8() + "/corvane-dconf-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        m_problem = QStringLiteral("cannot make a temporary folder");
        return;
    }
    m_folder = QString::fromUtf8(pattern);
    QDir(m_folder).mkpath("config");
    QDir(m_folder).mkpath("runtime");
    QFile::setPermissions(m_folder + "/runtime",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_CONFIG_HOME", (m_folder + "/config").toUtf8());
    qputenv("XDG_RUNTIME_DIR", (m_folder + "/runtime").toUtf8());
    qunsetenv("DCONF_PROFILE");
    const ToolResult started =
        RunTool("sh", {"-c", kStartBus, m_folder, QString::number(::getpid())}, 30000);
    const QString address = started.output.trimmed().section(u'\n', -1);
    if (started.exitCode != 0 || !address.startsWith("unix:")) {
        m_problem = address.startsWith("missing ")
                        ? address + ": apt-get install " + PackageOf(address)
                        : QStringLiteral("the session bus did not start: ") + address;
        return;
    }
    m_busAddress = address;
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_busAddress.toUtf8());
}

bool DconfSandbox::Write(const QString& key, const QString& gvariantText) const {
    return RunTool("dconf", {"write", key, gvariantText}, 30000).exitCode == 0;
}

QString DconfSandbox::Dump(const QString& dir) const {
    // Standard output alone: a warning of the tool must not pass for settings.
    QProcess dump;
    dump.start("dconf", {"dump", dir});
    if (!dump.waitForFinished(30000)) {
        return QStringLiteral("dconf dump did not run");
    }
    return QString::fromUtf8(dump.readAllStandardOutput());
}

bool DconfSandbox::Reset(const QString& dir) const {
    return RunTool("dconf", {"reset", "-f", dir}, 30000).exitCode == 0;
}

}  // namespace corvane::test
