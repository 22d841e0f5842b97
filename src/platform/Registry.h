#pragma once

// The tree of settings keys that registry items back up: the desktop's dconf database.
//
//   "HKEY_CURRENT_USER\org\gnome\desktop"  = the dconf folder /org/gnome/desktop/ of the
//                                            user's database (read and written)
//   "HKEY_LOCAL_MACHINE\..."               = the system defaults (/etc/dconf/db), read only
//   the other hives                        = known names that hold nothing here
//
// A key is a dconf folder, a value a dconf key. Values keep their GVariant type through
// our own round trip: every dconf value reads as a kRegString holding its GVariant text
// exactly as `dconf dump` prints it ('24h', uint32 7, ['a', 'b']). Written back, a string
// that parses as GVariant text is stored with that type; any other string is stored as a
// string; a kRegDword becomes a uint32, a kRegExpandString a string, a kRegMultiString an
// array of strings and a kRegBinary a byte array. The key's default value (empty name)
// is the dconf key named "@".
//
// Any thread may use the layer; each call stands alone. Writes go through the dconf
// service on the session bus; where none runs a write fails with its reason logged.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace corvane {

// In the order the file format lists them.
enum class RegistryHive {
    kClassesRoot,
    kCurrentUser,
    kLocalMachine,
    kUsers,
    kPerformanceData,
    kCurrentConfig,
    kDynData,
};

// "HKEY_CLASSES_ROOT" ... "HKEY_DYN_DATA".
QString RegistryHiveName(RegistryHive hive);

// The hive named exactly `name` (case-sensitive); nullopt for any other text.
std::optional<RegistryHive> RegistryHiveFromName(const QString& name);

// Splits "HKEY_CURRENT_USER\a\b\" into the hive and "a\b" (everything after the first
// "\", without a final one; empty when there is none). False for an unknown hive name.
bool SplitRegistryKeyPath(const QString& keyPath, RegistryHive& hive, QString& subKey);

// Value types, numbered as the format numbers them.
enum RegistryValueType : quint32 {
    kRegNone = 0,
    kRegString = 1,        // UTF-8 text and its terminating zero
    kRegExpandString = 2,  // UTF-8 text and its terminating zero
    kRegBinary = 3,        // any bytes
    kRegDword = 4,         // four bytes, least significant first
    kRegMultiString = 7,   // UTF-8 texts, each ended by a zero, and one more zero
};

struct RegistryValue {
    QString name;  // empty: the key's default value
    quint32 type = kRegString;
    QByteArray data;  // the bytes as the type above describes them

    bool operator==(const RegistryValue&) const = default;
};

// One open key. Errors are errno values, reported through `error` and logged where they
// happen:
//   ENOENT  the key does not exist, or its hive holds nothing here
//   EROFS   a write to the read-only system defaults
//   EIO     the dconf service refused or could not be reached (its message is logged)
class RegistryKey {
  public:
    // Opens an existing key for reading; `subKey` uses "\" between parts, "" is the
    // hive's root.
    static std::optional<RegistryKey> Open(RegistryHive hive, const QString& subKey,
                                           int* error = nullptr);
    // Opens a key for writing, creating it when missing (a dconf folder exists once a
    // value is written below it).
    static std::optional<RegistryKey> Create(RegistryHive hive, const QString& subKey,
                                             int* error = nullptr);

    RegistryHive Hive() const { return m_hive; }
    const QString& SubKey() const { return m_subKey; }

    // Names of the sub-keys that hold at least one value somewhere below, sorted by
    // code point so that two exports of the same data are the same bytes.
    QStringList SubKeyNames() const;
    bool HasSubKeys() const { return !SubKeyNames().isEmpty(); }

    // The key's values sorted by name (the default value, if any, first).
    std::vector<RegistryValue> Values() const;

    // False when the key has no value of that name.
    bool ReadValue(const QString& name, RegistryValue& value) const;

    // Writes one value (keys from Create only). 0, or an errno value.
    [[nodiscard]] int SetValue(const RegistryValue& value);

  private:
    RegistryKey(RegistryHive hive, const QString& subKey, bool writable)
        : m_hive(hive), m_subKey(subKey), m_writable(writable) {}

    RegistryHive m_hive;
    QString m_subKey;
    bool m_writable;
};

}  // namespace corvane
