#!/usr/bin/env bash
# check_deb_package.sh BUILD_DIR VERSION: the .deb CPack makes of the build tree names
# itself, its version and the packages of every library its programs link; holds the
# installed files, which the validators pass; unpacked, its corvane-cli runs.
set -uo pipefail
build=$1 version=$2 status=0
fail() { echo "$*"; status=1; }
for need in cpack:cmake dpkg-deb:dpkg appstreamcli:appstream objdump:binutils \
  desktop-file-validate:desktop-file-utils; do
  command -v "${need%:*}" >/dev/null ||
    { echo "${need%:*} is missing: scripts/install-deps.sh installs ${need#*:}"; exit 1; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/log" 2>&1 ||
  { cat "$scratch/log"; exit 1; }
deb=$(echo "$scratch"/out/corvane_*.deb) root=$scratch/root
dpkg-deb -x "$deb" "$root" || exit 1

info=$(dpkg-deb --info "$deb")
for field in "Package: corvane" "Version: $version" "Section: utils"; do
  grep -qx " $field" <<<"$info" || fail "the control data lacks $field: $info"
done
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
for file in bin/corvane bin/corvane-cli share/applications/corvane.desktop \
  share/icons/hicolor/scalable/apps/corvane.svg share/man/man1/corvane{,-cli}.1 \
  share/bash-completion/completions/corvane-cli share/doc/corvane/README.md \
  share/metainfo/io.github.corvane.Corvane.metainfo.xml; do
  grep -qx "\./usr/$file" <<<"$contents" || fail "the package lacks /usr/$file"
done

appstreamcli validate --no-net "$root"/usr/share/metainfo/*.xml >"$scratch/log" 2>&1 ||
  fail "appstreamcli: $(cat "$scratch/log")"
grep -q "<release version=\"$version\"" "$root"/usr/share/metainfo/*.xml ||
  fail "the AppStream releases lack $version"
problems=$(desktop-file-validate "$root/usr/share/applications/corvane.desktop" 2>&1)
[[ $? -eq 0 && -z $problems ]] || fail "desktop-file-validate: $problems"
answer=$(env -u LD_LIBRARY_PATH "$root/usr/bin/corvane-cli" --version)
[[ $answer == "corvane-cli $version"* ]] || fail "the packaged corvane-cli --version: $answer"

# The package of each library a program links itself must be among the Depends (the
# sanitizer runtimes of a test build aside).
for program in "$root"/usr/bin/*; do
  libraries=$(ldd "$program")
  for needed in $(objdump -p "$program" | awk '$1 == "NEEDED" {print $2}'); do
    # "lib => /path (address)", or "/path (address)" for the dynamic loader.
    path=$(awk -v lib="$needed" '$1 == lib && $2 == "=>" {print $3}
      $1 ~ /^\// && substr($1, length($1) - length(lib)) == "/" lib {print $1}' <<<"$libraries")
    [[ -n $path ]] || { fail "$program links $needed, which the system lacks"; continue; }
    owner=$(dpkg-query -S "$path" || dpkg-query -S "/usr$path" || dpkg-query -S "${path#/usr}")
    owner=${owner%%:*}
    [[ $owner == @(libasan|libubsan|libtsan)* || ", $depends," == *", $owner"[\ ,]* ]] ||
      fail "$program links $needed of ${owner:-no package}, which Depends lacks"
  done 2>/dev/null
done
exit $status
