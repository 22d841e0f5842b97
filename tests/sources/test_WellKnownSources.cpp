#include <gtest/gtest.h>

#include <QDir>

#include "sources/WellKnownSources.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

struct ResolveCase {
    const char* name;
    const char* node;
    // Made in the home folder ("~"), split at "|": "path=content", or a folder "path/".
    const char* files;
    const char* path;  // "" with the warning
    const char* warning;
};

class WellKnownSourcesResolve : public testing::TestWithParam<ResolveCase> {};

TEST_P(WellKnownSourcesResolve, FindsTheDataOrWarns) {
    test::TempDir home;
    const auto inHome = [&](const char* text) { return QString(text).replace("~", home.Path()); };
    for (const QString& file : inHome(GetParam().files).split('|', Qt::SkipEmptyParts)) {
        const qsizetype equals = file.indexOf('=');
        equals < 0 ? (void)QDir().mkpath(home.File(file))
                   : (void)home.Write(file.first(equals), file.sliced(equals + 1).toUtf8());
    }
    const WellKnownSource* source = FindWellKnownSource(GetParam().node);
    ASSERT_NE(source, nullptr);
    const ResolvedSource resolved =
        ResolveWellKnownSource(*source, {home.Path(), home.File("contacts/default")});
    EXPECT_EQ(resolved.warning, GetParam().warning);
    EXPECT_EQ(resolved.item.path, inHome(GetParam().path));
    EXPECT_EQ(resolved.item.kind, resolved.Found() ? source->kind : 0);
    EXPECT_EQ(resolved.item.nameInArchive, resolved.Found() ? source->nameInArchive : "");
}

const char* const kFirefox = "Web browser bookmarks and profile";

INSTANTIATE_TEST_SUITE_P(
    Cases, WellKnownSourcesResolve,
    testing::Values(
        ResolveCase{"InstallDefaultComesFirst", kFirefox,
                    ".mozilla/firefox/a/|.mozilla/firefox/b/|.mozilla/firefox/profiles.ini="
                    "[Profile0]\nIsRelative=1\nPath=a\nDefault=1\n[Profile1]\nIsRelative=1\n"
                    "Path=b\n[Install4F96D1932A9F858E]\nDefault=b\n",
                    "~/.mozilla/firefox/b/", ""},
        ResolveCase{"ProfileWithDefaultOne", kFirefox,
                    ".mozilla/firefox/p/a/|.mozilla/firefox/profiles.ini=[General]\n[Profile0]\n"
                    "Path=x\n[Profile1]\r\nDefault=1\r\nPath=p/a\r\nIsRelative=1\r\n",
                    "~/.mozilla/firefox/p/a/", ""},
        ResolveCase{"AbsoluteProfilePath", kFirefox,
                    "elsewhere/|.mozilla/firefox/profiles.ini=[Profile0]\nIsRelative=0\n"
                    "Path=~/elsewhere\nDefault=1\n",
                    "~/elsewhere/", ""},
        ResolveCase{"ProfileFolderMissing", kFirefox,
                    ".mozilla/firefox/profiles.ini=[Profile0]\nPath=gone\nDefault=1\n", "",
                    "Cannot find web browser profile"},
        ResolveCase{"Thunderbird", "Mail and address books",
                    ".thunderbird/x/|.thunderbird/profiles.ini=[Install1]\nDefault=x\n",
                    "~/.thunderbird/x/", ""},
        ResolveCase{"Chromium", "Chromium bookmarks", ".config/chromium/Default/Bookmarks={}",
                    "~/.config/chromium/Default/Bookmarks", ""},
        ResolveCase{"GnomeSettingsNeverChecked", "GNOME desktop settings", "",
                    "HKEY_CURRENT_USER\\org\\gnome\\desktop", ""},
        ResolveCase{"Ssh", "SSH keys and settings", ".ssh/id_ed25519=k", "~/.ssh/", ""},
        ResolveCase{"GnupgMissing", "GnuPG keys", "", "", "Cannot find GnuPG keys folder"},
        ResolveCase{"GimpNewestByVersionOrder", "GIMP settings",
                    ".config/GIMP/2.8/|.config/GIMP/2.10/|.config/GIMP/3.0/|.config/GIMP/10.x/|"
                    ".config/GIMP/2.99=file",
                    "~/.config/GIMP/3.0/", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvane
