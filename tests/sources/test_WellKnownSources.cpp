#include <gtest/gtest.h>

#include <QDir>

#include "sources/WellKnownSources.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::TempDir;

struct ResolveCase {
    const char* name;
    const char* node;
    // Files made in the home folder: "path=content"; a path ending in "/" is a folder.
    std::vector<const char*> files;
    const char* path;  // relative to the home folder; "" for the warning
    const char* warning;
};

class WellKnownSourcesResolve : public testing::TestWithParam<ResolveCase> {};

TEST_P(WellKnownSourcesResolve, FindsTheDataOrWarns) {
    TempDir home;
    for (QString file : GetParam().files) {
        file.replace("~", home.Path());
        const qsizetype equals = file.indexOf('=');
        file.endsWith('/') ? (void)QDir().mkpath(home.File(file))
                           : (void)home.Write(file.first(equals), file.sliced(equals + 1).toUtf8());
    }
    const WellKnownSource* source = FindWellKnownSource(GetParam().node);
    ASSERT_NE(source, nullptr);
    const ResolvedSource resolved =
        ResolveWellKnownSource(*source, {home.Path(), home.File("contacts/default")});
    EXPECT_EQ(resolved.warning, GetParam().warning);
    const QString path = QString(GetParam().path).replace("~", home.Path());
    EXPECT_EQ(resolved.item.path, path);
    if (resolved.Found()) {
        EXPECT_EQ(resolved.item.kind, source->kind);
        EXPECT_EQ(resolved.item.nameInArchive, source->nameInArchive);
        EXPECT_EQ(resolved.taskName, source->taskName);
    }
}

const char* const kFirefox = "Web browser bookmarks and profile";

INSTANTIATE_TEST_SUITE_P(
    Cases, WellKnownSourcesResolve,
    testing::Values(
        ResolveCase{"InstallDefaultComesFirst",
                    kFirefox,
                    {".mozilla/firefox/a.old/", ".mozilla/firefox/b.new/",
                     ".mozilla/firefox/profiles.ini=[Profile0]\nName=old\nIsRelative=1\n"
                     "Path=a.old\nDefault=1\n\n[Profile1]\nIsRelative=1\nPath=b.new\n\n"
                     "[Install4F96D1932A9F858E]\nDefault=b.new\nLocked=1\n"},
                    "~/.mozilla/firefox/b.new/",
                    ""},
        ResolveCase{"ProfileWithDefaultOneWithoutInstall",
                    kFirefox,
                    {".mozilla/firefox/p/a/",
                     ".mozilla/firefox/profiles.ini=[General]\nStartWithLastProfile=1\n"
                     "[Profile0]\nPath=x\nIsRelative=1\n[Profile1]\r\nDefault=1\r\nPath=p/a\r\n"
                     "IsRelative=1\r\n"},
                    "~/.mozilla/firefox/p/a/",
                    ""},
        ResolveCase{"AbsoluteProfilePath",
                    kFirefox,
                    {"elsewhere/prof/",
                     ".mozilla/firefox/profiles.ini=[Profile0]\nIsRelative=0\n"
                     "Path=~/elsewhere/prof\nDefault=1\n"},
                    "~/elsewhere/prof/",
                    ""},
        ResolveCase{"ProfileFolderMissing",
                    kFirefox,
                    {".mozilla/firefox/profiles.ini=[Profile0]\nPath=gone\nIsRelative=1\n"
                     "Default=1\n"},
                    "",
                    "Cannot find web browser profile"},
        ResolveCase{"NoDefaultProfile",
                    kFirefox,
                    {".mozilla/firefox/a/", ".mozilla/firefox/profiles.ini=[Profile0]\nPath=a\n"},
                    "",
                    "Cannot find web browser profile"},
        ResolveCase{"ThunderbirdProfile",
                    "Mail and address books",
                    {".thunderbird/x.default/",
                     ".thunderbird/profiles.ini=[Install1]\n"
                     "Default=x.default\n"},
                    "~/.thunderbird/x.default/",
                    ""},
        ResolveCase{"ChromiumBookmarksFile",
                    "Chromium bookmarks",
                    {".config/chromium/Default/Bookmarks={}"},
                    "~/.config/chromium/Default/Bookmarks",
                    ""},
        ResolveCase{"ChromiumMissing",
                    "Chromium bookmarks",
                    {".config/chromium/Default/"},
                    "",
                    "Cannot find Chromium bookmarks file"},
        ResolveCase{
            "ContactsFolder", "Contacts folder", {"contacts/default/"}, "~/contacts/default/", ""},
        ResolveCase{
            "ContactsFolderMissing", "Contacts folder", {}, "", "Cannot find contacts folder"},
        ResolveCase{"GnomeSettingsNeverChecked",
                    "GNOME desktop settings",
                    {},
                    "HKEY_CURRENT_USER\\org\\gnome\\desktop",
                    ""},
        ResolveCase{"Ssh", "SSH keys and settings", {".ssh/id_ed25519=k"}, "~/.ssh/", ""},
        ResolveCase{"GnupgMissing", "GnuPG keys", {}, "", "Cannot find GnuPG keys folder"},
        ResolveCase{"LibreOffice",
                    "LibreOffice settings",
                    {".config/libreoffice/4/"},
                    "~/.config/libreoffice/",
                    ""},
        ResolveCase{"GimpNewestByVersionOrder",
                    "GIMP settings",
                    {".config/GIMP/2.8/", ".config/GIMP/2.10/", ".config/GIMP/3.0/",
                     ".config/GIMP/10.x/", ".config/GIMP/2.99=file"},
                    "~/.config/GIMP/3.0/",
                    ""},
        ResolveCase{"GimpTwoTenAfterTwoEight",
                    "GIMP settings",
                    {".config/GIMP/2.8/", ".config/GIMP/2.10/"},
                    "~/.config/GIMP/2.10/",
                    ""},
        ResolveCase{"GimpMissing",
                    "GIMP settings",
                    {".config/GIMP/"},
                    "",
                    "Cannot find GIMP settings folder"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvane
