#include "sources/RegistryFile.h"

#include <fcntl.h>
#include <cerrno>
#include <cstring>

#include "io/DescriptorIo.h"
#include "io/ReplacingFile.h"
#include "log/Log.h"
#include "model/FileName.h"
#include "sources/RegFileFormat.h"
#include "sources/RegFileReader.h"
#include "sources/RegFileWriter.h"

namespace corvane {
namespace {

constexpr qsizetype kBufferSize = 64 * 1024;

thread_local int t_lastError = 0;

bool Finish(int error) {
    t_lastError = error;
    return error == 0;
}

const char* ErrorText(int error) {
    return strerror(error);
}

QString KeyPath(RegistryHive hive, const QString& subKey) {
    return RegistryHiveName(hive) + QLatin1Char('\\') + subKey;
}

// "a\b" and "c" make "a\b\c"; the root's sub-keys are their names alone.
QString SubKeyPath(const QString& path, const QString& name) {
    if (path.isEmpty()) {
        return name;
    }
    return path.endsWith(QLatin1Char('\\')) ? path + name : path + QLatin1Char('\\') + name;
}

// The export's file: a temporary beside the target, filled through a fixed buffer and
// renamed over the target only when complete, so that a failure leaves no partial file.
class RegOutput {
  public:
    explicit RegOutput(const QString& path) : m_path(path) { m_buffer.reserve(kBufferSize); }

    bool Open() { return m_file.Create(AT_FDCWD, FileNameToBytes(m_path)) || Fail(); }
    bool Write(QByteArrayView bytes) {
        if (m_buffer.size() + bytes.size() > kBufferSize && !Flush()) {
            return false;
        }
        if (bytes.size() > kBufferSize) {
            return WriteAll(m_file.Fd(), bytes.data(), bytes.size()) || Fail();
        }
        m_buffer += bytes;
        return true;
    }
    bool Commit() { return (Flush() && m_file.Commit()) || Fail(); }
    int Error() const { return m_error; }

  private:
    bool Flush() {
        const bool written = WriteAll(m_file.Fd(), m_buffer.constData(), m_buffer.size());
        m_buffer.clear();
        return written || Fail();
    }
    bool Fail() {
        if (m_error == 0) {
            m_error = errno != 0 ? errno : EIO;
            Log("  Error: cannot write '%s': %s", qUtf8Printable(m_path), ErrorText(m_error));
        }
        return false;
    }

    QString m_path;
    ReplacingFile m_file;
    QByteArray m_buffer;
    int m_error = 0;
};

// Writes a key, its values and, when asked, its sub-keys, depth first in the layer's order.
class KeyExporter {
  public:
    KeyExporter(RegistryHive hive, RegOutput& output) : m_hive(hive), m_output(output) {}

    // 0, or the errno value that ended the export.
    int Export(const RegistryKey& key, bool recursive) {
        QString problem;
        const std::optional<QByteArray> keyLine = RenderRegKeyLine(m_hive, key.SubKey(), &problem);
        if (!keyLine) {
            // Neither the key nor anything below it could be read back: say so and go on.
            Log("  Warning: registry key '%s' left out: %s",
                qUtf8Printable(KeyPath(m_hive, key.SubKey())), qUtf8Printable(problem));
            return 0;
        }
        if (!m_output.Write(*keyLine)) {
            return m_output.Error();
        }
        for (const RegistryValue& value : key.Values()) {
            const std::optional<QByteArray> line = RenderRegValueLine(value, &problem);
            if (line && !m_output.Write(*line)) {
                return m_output.Error();
            }
            if (!line && !problem.isEmpty()) {
                Log("  Warning: value '%s' of registry key '%s' left out: %s",
                    qUtf8Printable(value.name), qUtf8Printable(KeyPath(m_hive, key.SubKey())),
                    qUtf8Printable(problem));
            }
        }
        if (!m_output.Write(kRegLineEnd)) {
            return m_output.Error();
        }
        if (!recursive) {
            return 0;
        }
        for (const QString& name : key.SubKeyNames()) {
            const QString path = SubKeyPath(key.SubKey(), name);
            int error = 0;
            const std::optional<RegistryKey> subKey = RegistryKey::Open(m_hive, path, &error);
            if (!subKey && error == EACCES) {
                continue;  // a key the user may not read is left out
            }
            if (!subKey) {
                return error != 0 ? error : EIO;
            }
            if (const int failed = Export(*subKey, true); failed != 0) {
                return failed;
            }
        }
        return 0;
    }

  private:
    RegistryHive m_hive;
    RegOutput& m_output;
};

int ExportOneValue(const RegistryKey& key, const QString& valueName, RegOutput& output) {
    const QString keyPath = KeyPath(key.Hive(), key.SubKey());
    RegistryValue value;
    if (!key.ReadValue(valueName, value)) {
        Log("  Error: registry key '%s' has no value '%s'", qUtf8Printable(keyPath),
            qUtf8Printable(valueName));
        return ENOENT;
    }
    QString problem;
    std::optional<QByteArray> line = RenderRegKeyLine(key.Hive(), key.SubKey(), &problem);
    if (line) {
        const std::optional<QByteArray> valueLine = RenderRegValueLine(value, &problem);
        line = valueLine ? std::optional(*line + *valueLine) : std::nullopt;
    }
    if (!line) {
        Log("  Error: value '%s' of registry key '%s' cannot be exported: %s",
            qUtf8Printable(valueName), qUtf8Printable(keyPath),
            problem.isEmpty() ? "a type the format has no form for" : qUtf8Printable(problem));
        return EINVAL;
    }
    return output.Write(*line) && output.Write(kRegLineEnd) ? 0 : output.Error();
}

// Applies what the reader finds to the registry.
class RegistrySink : public RegFileSink {
  public:
    int OpenKey(RegistryHive hive, const QString& subKey) override {
        int error = 0;
        m_key = RegistryKey::Create(hive, subKey, &error);
        return m_key ? 0 : (error != 0 ? error : EIO);
    }
    int SetValue(const RegistryValue& value) override {
        return m_key ? m_key->SetValue(value) : EINVAL;
    }

  private:
    std::optional<RegistryKey> m_key;
};

}  // namespace

int LastRegistryFileError() {
    return t_lastError;
}

bool ExportRegistryItem(const QString& keyPath, const QString& filePath) {
    RegistryHive hive = RegistryHive::kCurrentUser;
    QString subKey;
    if (!SplitRegistryKeyPath(keyPath, hive, subKey)) {
        Log("  Error: '%s' does not begin with a registry hive", qUtf8Printable(keyPath));
        return Finish(EINVAL);
    }
    return ExportKey(hive, subKey, std::nullopt, true, filePath, true);
}

bool ExportKey(RegistryHive hive, const QString& subKey, const std::optional<QString>& valueName,
               bool recursive, const QString& filePath, bool header) {
    if (filePath.isEmpty() || (valueName && recursive)) {
        Log("  Error: cannot export registry key '%s': %s", qUtf8Printable(KeyPath(hive, subKey)),
            filePath.isEmpty() ? "no file named" : "a single value has no sub-keys");
        return Finish(EINVAL);
    }
    // The key is opened before the file is made, so a key that is not there leaves a file
    // of the same name as it was.
    int error = 0;
    const std::optional<RegistryKey> key = RegistryKey::Open(hive, subKey, &error);
    if (!key) {
        error = error != 0 ? error : EIO;
        Log("  Error: cannot export registry key '%s': %s", qUtf8Printable(KeyPath(hive, subKey)),
            ErrorText(error));
        return Finish(error);
    }
    RegOutput output(filePath);
    if (!output.Open()) {
        return Finish(output.Error());
    }
    if (header && !output.Write(RegFileHeader())) {
        return Finish(output.Error());
    }
    error = valueName ? ExportOneValue(*key, *valueName, output)
                      : KeyExporter(hive, output).Export(*key, recursive);
    if (error != 0) {
        if (error != output.Error()) {
            Log("  Error: cannot export registry key '%s': %s",
                qUtf8Printable(KeyPath(hive, subKey)), ErrorText(error));
        }
        return Finish(error);
    }
    return Finish(output.Commit() ? 0 : output.Error());
}

bool ImportRegFile(const QString& filePath) {
    if (filePath.isEmpty()) {
        Log("  Error: cannot import a registry file: no file named");
        return Finish(EINVAL);
    }
    FileDescriptor file(open(FileNameToBytes(filePath).constData(), O_RDONLY | O_CLOEXEC));
    if (!file.IsOpen()) {
        const int error = errno;
        Log("  Error: cannot open '%s': %s", qUtf8Printable(filePath), ErrorText(error));
        return Finish(error);
    }
    RegistrySink sink;
    RegFileReader reader(sink);
    QByteArray buffer(kBufferSize, Qt::Uninitialized);
    ssize_t count = 0;
    while ((count = ReadSome(file.Get(), buffer.data(), buffer.size())) > 0 &&
           reader.Feed(QByteArrayView(buffer.constData(), count))) {
    }
    if (count < 0) {
        const int error = errno;
        Log("  Error: cannot read '%s': %s", qUtf8Printable(filePath), ErrorText(error));
        return Finish(error);
    }
    if (count == 0) {
        (void)reader.Finish();
    }
    if (reader.Error() != 0) {
        Log("  Error: %s, line %d: %s", qUtf8Printable(filePath), reader.ErrorLine(),
            qUtf8Printable(reader.Reason()));
    }
    return Finish(reader.Error());
}

}  // namespace corvane
