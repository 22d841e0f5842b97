#!/usr/bin/env bash
# check_deb_package.sh BUILD_DIR VERSION: CPack makes the .deb of the build tree; its
# control data names the package, the version and the libraries the programs link; it
# holds the programs, launcher, icon, manual pages, completion, README and AppStream
# data, which the validators pass; unpacked, its corvane-cli runs on the system's
# libraries.
set -uo pipefail
build=$1
version=$2

for tool in cpack dpkg-deb dpkg-query appstreamcli desktop-file-validate objdump ldd; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is missing: scripts/install-deps.sh installs it"
    exit 1
  fi
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if ! cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  exit 1
fi
deb=$(echo "$scratch"/out/corvane_*.deb)
[[ -f $deb ]] || { echo "no corvane_*.deb made"; exit 1; }

status=0
fail() {
  echo "$*"
  status=1
}

info=$(dpkg-deb --info "$deb")
grep -qx ' Package: corvane' <<<"$info" || fail "package name: $info"
grep -qx " Version: $version" <<<"$info" || fail "package version, not $version: $info"
grep -qx ' Section: utils' <<<"$info" || fail "package section: $info"
depends=$(sed -n 's/^ Depends: //p' <<<"$info")

contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
for file in bin/corvane bin/corvane-cli share/applications/corvane.desktop \
  share/icons/hicolor/scalable/apps/corvane.svg share/man/man1/corvane.1 \
  share/man/man1/corvane-cli.1 share/bash-completion/completions/corvane-cli \
  share/doc/corvane/README.md share/metainfo/io.github.corvane.Corvane.metainfo.xml; do
  grep -qx "\./usr/$file" <<<"$contents" || fail "the package lacks /usr/$file"
done

root=$scratch/root
dpkg-deb -x "$deb" "$root" || exit 1
appstreamcli validate --no-net --explain \
  "$root/usr/share/metainfo/io.github.corvane.Corvane.metainfo.xml" >"$scratch/as.log" 2>&1 ||
  fail "appstreamcli validate: $(cat "$scratch/as.log")"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/"*.xml ||
  fail "the AppStream releases do not name $version"
desktop_warnings=$(desktop-file-validate "$root/usr/share/applications/corvane.desktop" 2>&1) ||
  fail "desktop-file-validate: $desktop_warnings"
[[ -z $desktop_warnings ]] || fail "desktop-file-validate: $desktop_warnings"
cli_version=$(env -u LD_LIBRARY_PATH "$root/usr/bin/corvane-cli" --version) ||
  fail "the packaged corvane-cli --version failed"
[[ $cli_version == "corvane-cli $version"* ]] || fail "corvane-cli --version: $cli_version"

# Every library a packaged program links directly comes from a package the control data
# depends on (the sanitizer runtimes of a test build aside).
for program in "$root/usr/bin/corvane" "$root/usr/bin/corvane-cli"; do
  libraries=$(ldd "$program")
  for needed in $(objdump -p "$program" | awk '$1 == "NEEDED" {print $2}'); do
    path=$(awk -v lib="$needed" '$1 == lib && $2 == "=>" {print $3}' <<<"$libraries")
    if [[ -z $path ]]; then
      fail "$(basename "$program") links $needed, which the system lacks"
      continue
    fi
    owner=
    for candidate in "$path" "${path#/usr}" "/usr$path"; do
      owner=$(dpkg-query -S "$candidate" 2>/dev/null | head -1 | cut -d: -f1) && break
    done
    case $owner in
      libasan* | libubsan* | libtsan*) continue ;;
      '') fail "$(basename "$program") links $needed, which no package holds" ;;
      *) [[ ", $depends," == *", $owner"[\ ,]* ]] ||
        fail "$(basename "$program") links $needed of $owner, which Depends lacks: $depends" ;;
    esac
  done
done
exit $status
