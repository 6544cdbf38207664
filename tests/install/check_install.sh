#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a desktop needs:
# the binary, a valid menu entry, both icons, valid AppStream metadata, a
# compressed man page that formats without warnings, the copyright file and
# the changelog.
set -euo pipefail
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix/usr" >/dev/null

fail() { echo "FAIL: $*"; exit 1; }
id=invalid.quillpad.quillpad
for f in bin/quillpad \
         share/applications/$id.desktop \
         share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/32x32/apps/quillpad.png \
         share/icons/hicolor/scalable/apps/quillpad.svg \
         share/man/man1/quillpad.1.gz \
         share/doc/quillpad/copyright \
         share/doc/quillpad/changelog.gz; do
    [ -e "$prefix/usr/$f" ] || fail "$f is not installed"
done
[ -x "$prefix/usr/bin/quillpad" ] || fail "the binary is not executable"

desktop="$prefix/usr/share/applications/$id.desktop"
desktop-file-validate "$desktop" || fail "desktop entry"
grep -qx 'Name=Quillpad' "$desktop" || fail "desktop Name"
grep -qx 'Exec=quillpad %f' "$desktop" || fail "desktop Exec takes the file"
grep -qx 'MimeType=text/plain;' "$desktop" || fail "desktop MimeType"
grep -qx 'Categories=Utility;TextEditor;' "$desktop" || fail "desktop Categories"
# The window's X11 class (WM_CLASS "quillpad", "Quillpad"), which the
# end-to-end tests read off the window, ties it to this entry.
grep -qx 'StartupWMClass=Quillpad' "$desktop" || fail "desktop StartupWMClass"

appstreamcli validate --no-net "$prefix/usr/share/metainfo/$id.metainfo.xml" || fail "AppStream metadata"

man="$(mktemp)"
gzip -dc "$prefix/usr/share/man/man1/quillpad.1.gz" > "$man" || fail "the man page is not gzip-compressed"
warnings="$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww "$man" 2>&1 >/dev/null)"
[ -z "$warnings" ] || fail "man page: $warnings"
LC_ALL=C.UTF-8 groff -man -Tutf8 "$man" 2>/dev/null | grep -q 'Stay On Top' \
    || fail "the man page does not describe the menu"
rm -f "$man"

file_type="$(head -c 8 "$prefix/usr/share/icons/hicolor/32x32/apps/quillpad.png" | od -An -c | tr -d ' ')"
[[ "$file_type" == *PNG* ]] || fail "the 32x32 icon is not a PNG"
echo "PASS install"
