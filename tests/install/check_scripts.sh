#!/usr/bin/env bash
# The set-up scripts speak before they act: without a display scripts/run
# says so in one line, before it installs or builds anything; a user who is
# not root and has no sudo is told in one line what to do.
set -euo pipefail
top="$1"
fail() { echo "FAIL: $*"; exit 1; }

stamp="$(mktemp)"
trap 'rm -f "$stamp"' EXIT
out="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$top/scripts/run" 2>&1)" \
    && fail "scripts/run went on without a display"
[ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] || fail "scripts/run said more than one line: $out"
[[ "$out" == *"no display"* ]] || fail "scripts/run said: $out"
# Nothing was configured or built on the way.
[ -z "$(find "$top/build" -newer "$stamp" -print -quit 2>/dev/null)" ] || fail "scripts/run built before saying"

if [ "$(id -u)" -eq 0 ] && command -v runuser >/dev/null; then
    # A user without sudo: the tools the script needs, and no sudo among them.
    bin="$(mktemp -d)"
    trap 'rm -f "$stamp"; rm -rf "$bin"' EXIT
    for tool in bash env dpkg-query grep id sed; do
        ln -s "$(command -v "$tool")" "$bin/$tool"
    done
    chmod 755 "$bin"
    out="$(runuser -u nobody -- env PATH="$bin" "$top/scripts/ensure-packages.sh" no-such-package-for-quillpad 2>&1)" \
        && fail "ensure-packages.sh went on without sudo"
    [ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] || fail "ensure-packages.sh said more than one line: $out"
    [[ "$out" == *"as root"* && "$out" == *"install sudo"* ]] || fail "ensure-packages.sh said: $out"
fi
echo "PASS scripts"
