#!/usr/bin/env bash
# Makes the Debian package from a finished build folder and checks it: lintian reports no
# error, the metadata validates, and the unpacked program, started offscreen in an empty
# folder, creates its database from the installed template and opens the installed help.
#   scripts/check-package.sh BUILD_DIR
set -euo pipefail
build="$(cd "${1:?usage: check-package.sh BUILD_DIR}" && pwd)"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
deb="$build/quillstack_${version}_amd64.deb"
rm -f "$deb"
(cd "$build" && cpack -G DEB >/dev/null)
lintian --fail-on error "$deb"
appstreamcli validate --no-net "$build/packaging/org.quillstack.Quillstack.metainfo.xml" >/dev/null

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp/root"
mkdir "$tmp/work"
program="$tmp/root/usr/bin/quillstack"
out="$(cd "$tmp/work" && env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen \
    QSK_QUIT_AFTER_START=help HOME="$tmp" XDG_CONFIG_HOME="$tmp/config" "$program")"
fail() { echo "Package check failed: $1" >&2; echo "$out" >&2; exit 1; }
[ -f "$tmp/work/Qsk.MDB" ] || fail "no database was created from the installed template"
grep -qxF "Help: $tmp/root/usr/share/quillstack/Qsk.Hlp" <<<"$out" || fail "the installed help was not found"
[ "$("$program" --version)" = "Quillstack $version" ] || fail "--version does not say $version"
echo "Package check passed: $(basename "$deb")"
