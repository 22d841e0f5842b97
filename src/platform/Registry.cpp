#include "platform/Registry.h"

#include <cerrno>
#include <iterator>

#include "log/Log.h"
#include "platform/DconfTree.h"

namespace corvane {
namespace {

const char* const kHiveNames[] = {
    "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA",
};

// The name of the default value in dconf, where a key cannot be nameless.
const char kDefaultValueKey[] = "@";

DconfLayer LayerOf(RegistryHive hive) {
    return hive == RegistryHive::kLocalMachine ? DconfLayer::kSystemDefaults : DconfLayer::kUser;
}

bool HoldsSettings(RegistryHive hive) {
    return hive == RegistryHive::kCurrentUser || hive == RegistryHive::kLocalMachine;
}

QString FullName(RegistryHive hive, const QString& subKey) {
    return subKey.isEmpty() ? RegistryHiveName(hive) : RegistryHiveName(hive) + u'\\' + subKey;
}

// One part of a dconf path: not empty, and neither the separator nor a zero that would
// end the C text early.
bool IsPathPart(const QString& part) {
    return !part.isEmpty() && !part.contains(u'/') && !part.contains(QChar(0));
}

// "a\b" -> "/a/b/", "" -> "/"; false for a sub-key dconf cannot name.
bool FolderOf(const QString& subKey, QByteArray& folder) {
    folder = "/";
    if (subKey.isEmpty()) {
        return true;
    }
    for (const QString& part : subKey.split(u'\\')) {
        if (!IsPathPart(part)) {
            return false;
        }
        folder += part.toUtf8() + '/';
    }
    return true;
}

QByteArray KeyNameOf(const QString& valueName) {
    return valueName.isEmpty() ? QByteArray(kDefaultValueKey) : valueName.toUtf8();
}

void SetError(int* error, int value) {
    if (error != nullptr) {
        *error = value;
    }
}

}  // namespace

QString RegistryHiveName(RegistryHive hive) {
    return QString::fromLatin1(kHiveNames[static_cast<int>(hive)]);
}

std::optional<RegistryHive> RegistryHiveFromName(const QString& name) {
    for (int i = 0; i < static_cast<int>(std::size(kHiveNames)); ++i) {
        if (name == QLatin1String(kHiveNames[i])) {
            return static_cast<RegistryHive>(i);
        }
    }
    return std::nullopt;
}

bool SplitRegistryKeyPath(const QString& keyPath, RegistryHive& hive, QString& subKey) {
    const qsizetype separator = keyPath.indexOf(u'\\');
    const std::optional<RegistryHive> found =
        RegistryHiveFromName(separator < 0 ? keyPath : keyPath.left(separator));
    if (!found) {
        return false;
    }
    hive = *found;
    subKey = separator < 0 ? QString() : keyPath.mid(separator + 1);
    if (subKey.endsWith(u'\\')) {
        subKey.chop(1);
    }
    return true;
}

std::optional<RegistryKey> RegistryKey::Open(RegistryHive hive, const QString& subKey, int* error) {
    const QString name = FullName(hive, subKey);
    QByteArray folder;
    if (!HoldsSettings(hive)) {
        Log("  Error: settings key %s: %s holds nothing here", qUtf8Printable(name),
            qUtf8Printable(RegistryHiveName(hive)));
    } else if (!FolderOf(subKey, folder) || !DconfHoldsValue(folder, LayerOf(hive))) {
        Log("  Error: settings key %s does not exist", qUtf8Printable(name));
    } else {
        SetError(error, 0);
        return RegistryKey(hive, subKey, false);
    }
    SetError(error, ENOENT);
    return std::nullopt;
}

std::optional<RegistryKey> RegistryKey::Create(RegistryHive hive, const QString& subKey,
                                               int* error) {
    const QString name = FullName(hive, subKey);
    QByteArray folder;
    if (hive == RegistryHive::kLocalMachine) {
        Log("  Error: cannot write settings key %s: the system defaults are read only",
            qUtf8Printable(name));
        SetError(error, EROFS);
    } else if (!HoldsSettings(hive)) {
        Log("  Error: cannot write settings key %s: %s holds nothing here", qUtf8Printable(name),
            qUtf8Printable(RegistryHiveName(hive)));
        SetError(error, ENOENT);
    } else if (!FolderOf(subKey, folder)) {
        Log("  Error: cannot write settings key %s: a part of its name is empty or holds "
            "'/'",
            qUtf8Printable(name));
        SetError(error, EINVAL);
    } else {
        SetError(error, 0);
        return RegistryKey(hive, subKey, true);
    }
    return std::nullopt;
}

QStringList RegistryKey::SubKeyNames() const {
    QByteArray folder;
    QStringList names;
    if (FolderOf(m_subKey, folder)) {
        for (const QByteArray& name : DconfFolderNames(folder, LayerOf(m_hive))) {
            // "\" separates the parts of a key path, so such a folder has no key path
            // that reaches it: said, rather than exported under a wrong name.
            if (name.contains('\\')) {
                Log("  Warning: settings folder %s%s/ cannot be named as a key and is left out",
                    folder.constData(), name.constData());
                continue;
            }
            names << QString::fromUtf8(name);
        }
    }
    return names;
}

std::vector<RegistryValue> RegistryKey::Values() const {
    QByteArray folder;
    std::vector<RegistryValue> values;
    if (!FolderOf(m_subKey, folder)) {
        return values;
    }
    for (const QByteArray& key : DconfValueNames(folder, LayerOf(m_hive))) {
        const GVariantPtr value = DconfRead(folder + key, LayerOf(m_hive));
        if (value == nullptr) {
            continue;  // reset since it was listed
        }
        const bool isDefault = key == kDefaultValueKey;
        const RegistryValue read =
            RegistryValueFromGVariant(isDefault ? QString() : QString::fromUtf8(key), value.get());
        // The names arrive in code point order; only "@" moves to the front.
        values.insert(isDefault ? values.begin() : values.end(), read);
    }
    return values;
}

bool RegistryKey::ReadValue(const QString& name, RegistryValue& value) const {
    QByteArray folder;
    if (!FolderOf(m_subKey, folder) || !(name.isEmpty() || IsPathPart(name))) {
        return false;
    }
    const GVariantPtr read = DconfRead(folder + KeyNameOf(name), LayerOf(m_hive));
    if (read == nullptr) {
        return false;
    }
    value = RegistryValueFromGVariant(name, read.get());
    return true;
}

int RegistryKey::SetValue(const RegistryValue& value) {
    const QString key = FullName(m_hive, m_subKey);
    const QString shownName = value.name.isEmpty() ? QStringLiteral("@") : value.name;
    QByteArray folder;
    if (!m_writable || !FolderOf(m_subKey, folder)) {
        Log("  Error: cannot write settings key %s: it was opened for reading only",
            qUtf8Printable(key));
        return EBADF;
    }
    if (!value.name.isEmpty() && !IsPathPart(value.name)) {
        Log("  Error: cannot write value '%s' of settings key %s: a dconf key name cannot "
            "hold '/' or a zero",
            qUtf8Printable(shownName), qUtf8Printable(key));
        return EINVAL;
    }
    QString reason;
    const GVariantPtr stored = GVariantFromRegistryValue(value, reason);
    if (stored == nullptr) {
        Log("  Error: cannot write value '%s' of settings key %s: %s", qUtf8Printable(shownName),
            qUtf8Printable(key), qUtf8Printable(reason));
        return EINVAL;
    }
    // The value itself stays out of the log: settings may hold passwords.
    if (!DconfWrite(folder + KeyNameOf(value.name), stored.get(), reason)) {
        Log("  Error: cannot write value '%s' of settings key %s: %s", qUtf8Printable(shownName),
            qUtf8Printable(key), qUtf8Printable(reason));
        return EIO;
    }
    return 0;
}

}  // namespace corvane
