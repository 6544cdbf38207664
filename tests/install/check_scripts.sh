#!/usr/bin/env bash
# The set-up scripts speak before they act: without a display scripts/run
# says so in one line, before it installs or builds anything; a user who is
# not root and may not install packages is told in one line what to do.
# They are checked from a copy in a folder of mode 700, as a checkout in a
# home folder is; what must run as another user is copied where it can read.
set -euo pipefail
top="$1"
fail() { echo "FAIL: $*"; exit 1; }

scratch="$(mktemp -d)" # mode 700
trap 'rm -rf "$scratch"' EXIT
checkout="$scratch/checkout"
mkdir -p "$checkout"
cp -r "$top/scripts" "$checkout/"

out="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$checkout/scripts/run" 2>&1)" \
    && fail "scripts/run went on without a display"
[ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] || fail "scripts/run said more than one line: $out"
[[ "$out" == *"no display"* ]] || fail "scripts/run said: $out"
# Nothing was configured or built on the way.
[ ! -e "$checkout/build" ] || fail "scripts/run built before saying"

if [ "$(id -u)" -eq 0 ] && command -v runuser >/dev/null; then
    # nobody cannot enter the scratch folder: it gets a copy of its own.
    shared="$(mktemp -d)"
    trap 'rm -rf "$scratch" "$shared"' EXIT
    cp "$checkout/scripts/ensure-packages.sh" "$shared/"
    mkdir "$shared/bin"
    for tool in bash env dpkg-query grep id sed tr; do
        ln -s "$(command -v "$tool")" "$shared/bin/$tool"
    done
    chmod -R a+rX "$shared"
    as_nobody() { runuser -u nobody -- env PATH="$shared/bin" "$shared/ensure-packages.sh" no-such-package-for-quillpad 2>&1; }

    # Without sudo: become root, or install sudo.
    out="$(as_nobody)" && fail "ensure-packages.sh went on without sudo"
    [ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] || fail "ensure-packages.sh said more than one line: $out"
    [[ "$out" == *"as root"* && "$out" == *"install sudo"* ]] || fail "ensure-packages.sh said: $out"

    # With a sudo that will not let nobody in (a stand-in, so that the
    # machine's own sudo and its logs are left alone): ask an administrator.
    printf '#!/bin/sh\nexit 1\n' > "$shared/bin/sudo"
    chmod 755 "$shared/bin/sudo"
    out="$(as_nobody)" && fail "ensure-packages.sh went on with a sudo it may not use"
    [ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] || fail "ensure-packages.sh said more than one line: $out"
    [[ "$out" == *"add nobody to the sudo group"* ]] || fail "ensure-packages.sh said: $out"
fi
echo "PASS scripts"
