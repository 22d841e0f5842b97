#include "sources/ProfilesIni.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <vector>

namespace corvane {

namespace {

// Longer lines are no part of a profiles.ini; they are passed over whole.
constexpr qint64 kMaxLineBytes = 64 * 1024;

struct IniProfile {
    QString path;
    QString isRelative;
    bool isDefault = false;
};

struct IniContent {
    QString installDefault;  // of the first install section that has one
    std::vector<IniProfile> profiles;
};

IniContent ReadIni(QFile& file) {
    IniContent content;
    enum class Section { kOther, kInstall, kProfile } section = Section::kOther;
    bool skipping = false;  // inside a line longer than the limit
    while (!file.atEnd()) {
        const QByteArray bytes = file.readLine(kMaxLineBytes);
        if (bytes.isEmpty()) {
            break;
        }
        const bool whole = bytes.endsWith('\n') || file.atEnd();
        const bool skip = skipping || !whole;
        skipping = !whole;
        if (skip) {
            continue;
        }
        const QString line = QString::fromUtf8(bytes).trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString name = line.mid(1, line.size() - 2);
            section = name.startsWith(QLatin1String("Install"))   ? Section::kInstall
                      : name.startsWith(QLatin1String("Profile")) ? Section::kProfile
                                                                  : Section::kOther;
            if (section == Section::kProfile) {
                content.profiles.emplace_back();
            }
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            continue;
        }
        const QString key = line.first(equals).trimmed();
        const QString value = line.sliced(equals + 1).trimmed();
        if (section == Section::kInstall && key == QLatin1String("Default") &&
            content.installDefault.isEmpty()) {
            content.installDefault = value;
        } else if (section == Section::kProfile) {
            IniProfile& profile = content.profiles.back();
            if (key == QLatin1String("Path")) {
                profile.path = value;
            } else if (key == QLatin1String("IsRelative")) {
                profile.isRelative = value;
            } else if (key == QLatin1String("Default")) {
                profile.isDefault = value == QLatin1String("1");
            }
        }
    }
    return content;
}

// "IsRelative=1" or "0" decides; without it, a path that is not absolute can only be relative.
QString Resolve(const QString& base, const QString& path, const QString& isRelative) {
    if (path.isEmpty()) {
        return {};
    }
    const bool relative =
        isRelative == QLatin1String("1") || (isRelative.isEmpty() && !QDir::isAbsolutePath(path));
    if (relative) {
        return QDir::cleanPath(base + QLatin1Char('/') + path);
    }
    return QDir::isAbsolutePath(path) ? QDir::cleanPath(path) : QString();
}

}  // namespace

QString DefaultProfileFolder(const QString& iniPath) {
    QFile file(iniPath);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const IniContent content = ReadIni(file);
    const QString base = QFileInfo(iniPath).absolutePath();
    if (!content.installDefault.isEmpty()) {
        // The install section names a profile by its path; the profile's own section
        // tells whether that path is relative.
        for (const IniProfile& profile : content.profiles) {
            if (profile.path == content.installDefault) {
                return Resolve(base, profile.path, profile.isRelative);
            }
        }
        return Resolve(base, content.installDefault, QString());
    }
    for (const IniProfile& profile : content.profiles) {
        if (profile.isDefault) {
            return Resolve(base, profile.path, profile.isRelative);
        }
    }
    return {};
}

}  // namespace corvane
