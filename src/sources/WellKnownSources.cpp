#include "sources/WellKnownSources.h"

#include <QDir>
#include <QFileInfo>
#include <QVersionNumber>
#include <initializer_list>

#include "sources/ProfilesIni.h"

namespace corvane {

namespace {

QString InHome(const WellKnownPlaces& places, const char* relative) {
    return QDir::cleanPath(places.home + QLatin1Char('/') + QLatin1String(relative));
}

QString ExistingFolder(const QString& path) {
    return QFileInfo(path).isDir() ? path : QString();
}

// The first of the profiles.ini files that names a profile folder that is there.
QString MozillaProfile(const WellKnownPlaces& places, std::initializer_list<const char*> inis) {
    for (const char* ini : inis) {
        const QString folder = ExistingFolder(DefaultProfileFolder(InHome(places, ini)));
        if (!folder.isEmpty()) {
            return folder;
        }
    }
    return {};
}

QString FindBrowserProfile(const WellKnownPlaces& places) {
    // Newer releases keep their profiles in the configuration folder.
    return MozillaProfile(
        places, {".mozilla/firefox/profiles.ini", ".config/mozilla/firefox/profiles.ini"});
}

QString FindMailProfile(const WellKnownPlaces& places) {
    return MozillaProfile(places, {".thunderbird/profiles.ini"});
}

QString FindChromiumBookmarks(const WellKnownPlaces& places) {
    const QString path = InHome(places, ".config/chromium/Default/Bookmarks");
    return QFileInfo(path).isFile() ? path : QString();
}

QString FindContactFolder(const WellKnownPlaces& places) {
    return places.contactFolder.isEmpty() ? QString() : ExistingFolder(places.contactFolder);
}

QString GnomeDesktopKey(const WellKnownPlaces&) {
    return QStringLiteral("HKEY_CURRENT_USER\\org\\gnome\\desktop");
}

QString FindSsh(const WellKnownPlaces& places) {
    return ExistingFolder(InHome(places, ".ssh"));
}

QString FindGnupg(const WellKnownPlaces& places) {
    return ExistingFolder(InHome(places, ".gnupg"));
}

QString FindLibreOffice(const WellKnownPlaces& places) {
    return ExistingFolder(InHome(places, ".config/libreoffice"));
}

// Each GIMP release keeps its settings in a folder named after its version ("2.10",
// "3.0"); the highest version is the one in use.
QString FindGimp(const WellKnownPlaces& places) {
    const QDir gimp(InHome(places, ".config/GIMP"));
    QVersionNumber newest;
    QString newestName;
    for (const QString& name : gimp.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        qsizetype end = 0;
        const QVersionNumber version = QVersionNumber::fromString(name, &end);
        if (version.isNull() || end != name.size() || version <= newest) {
            continue;
        }
        newest = version;
        newestName = name;
    }
    return newestName.isEmpty() ? QString() : gimp.filePath(newestName);
}

// One line per node; a line added here is a node of the source tree.
constexpr WellKnownSource kSources[] = {
    {"Web browser bookmarks and profile", kItemFolder, FindBrowserProfile, "Firefox Profile",
     "Firefox Profile", "Cannot find web browser profile"},
    {"Chromium bookmarks", kItemFile, FindChromiumBookmarks, "Chromium Bookmarks",
     "Chromium Bookmarks", "Cannot find Chromium bookmarks file"},
    {"Mail and address books", kItemFolder, FindMailProfile, "Thunderbird Profile",
     "Thunderbird Profile", "Cannot find mail profile"},
    {"Contacts folder", kItemFolder, FindContactFolder, "Contacts", "Contacts",
     "Cannot find contacts folder"},
    {"GNOME desktop settings", kItemRegistryKey, GnomeDesktopKey, "GNOME Desktop Settings",
     "GNOME Desktop Settings", ""},
    {"SSH keys and settings", kItemFolder, FindSsh, "SSH", "SSH Keys",
     "Cannot find SSH keys folder"},
    {"GnuPG keys", kItemFolder, FindGnupg, "GnuPG", "GnuPG Keys", "Cannot find GnuPG keys folder"},
    {"LibreOffice settings", kItemFolder, FindLibreOffice, "LibreOffice Settings",
     "LibreOffice Settings", "Cannot find LibreOffice settings folder"},
    {"GIMP settings", kItemFolder, FindGimp, "GIMP Settings", "GIMP Settings",
     "Cannot find GIMP settings folder"},
};

}  // namespace

std::span<const WellKnownSource> WellKnownSources() {
    return kSources;
}

const WellKnownSource* FindWellKnownSource(const QString& node) {
    for (const WellKnownSource& source : kSources) {
        if (node == QLatin1String(source.node)) {
            return &source;
        }
    }
    return nullptr;
}

ResolvedSource ResolveWellKnownSource(const WellKnownSource& source,
                                      const WellKnownPlaces& places) {
    ResolvedSource resolved;
    QString path = source.find(places);
    if (path.isEmpty()) {
        resolved.warning = QString::fromUtf8(source.missing);
        return resolved;
    }
    if (source.kind == kItemFolder && !path.endsWith(QLatin1Char('/'))) {
        path += QLatin1Char('/');
    }
    const QString name = QString::fromUtf8(source.nameInArchive);
    resolved.item = source.kind == kItemRegistryKey ? MakeRegistryItem(path, name)
                                                    : MakePathItem(path, source.kind, name);
    resolved.taskName = QString::fromUtf8(source.taskName);
    return resolved;
}

}  // namespace corvane
