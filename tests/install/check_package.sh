#!/usr/bin/env bash
# Builds the Debian package from the build folder and checks it as the archive
# would: lintian finds no error and no warning, the package depends on the
# libraries the binary needs and recommends the stand-in fonts.
set -euo pipefail
build="$1"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; fail "cpack"; }
deb="$(ls "$out"/*.deb)"

depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libqt6widgets6 libqt6printsupport6 libqt6gui6 libqt6core6 libc6; do
    [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
[ "$(dpkg-deb -f "$deb" Recommends)" = "fonts-liberation, qt6-wayland" ] || fail "Recommends: $(dpkg-deb -f "$deb" Recommends)"

contents="$(dpkg-deb -c "$deb")"
for f in usr/bin/quillpad usr/share/man/man1/quillpad.1.gz usr/share/doc/quillpad/copyright \
         usr/share/doc/quillpad/changelog.gz; do
    grep -q " \./$f\$" <<<"$contents" || fail "$f is not in the package"
done

tags="$(TMPDIR="$out" lintian "$deb" 2>/dev/null | grep -E '^[EW]: ' || true)"
[ -z "$tags" ] || fail "lintian: $tags"
echo "PASS package: $(basename "$deb"), lintian clean"
