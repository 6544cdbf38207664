#!/usr/bin/env bash
# Installs the Debian packages named as arguments that are not installed yet,
# and says what it is doing. What it prints comes line by line, also through a
# pipe, and a step that may be quiet for a while says so before it starts.
set -euo pipefail
missing=()
for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    user="$(id -un)"
    if ! command -v sudo >/dev/null 2>&1; then
        echo "Missing Debian packages: ${missing[*]}. Run this as root, or install sudo and ask an administrator to add $user to the sudo group, so they can be installed." >&2
        exit 1
    fi
    # Debian lets the sudo group use sudo; anyone else only where sudo lets
    # them in without asking (a rule of their own).
    if [[ ! " $(id -nG) " =~ \ (sudo|admin|wheel)\  ]] && ! sudo -n true 2>/dev/null; then
        echo "Missing Debian packages: ${missing[*]}. $user may not use sudo: ask an administrator to add $user to the sudo group (adduser $user sudo, then log in again), or run this as root." >&2
        exit 1
    fi
    sudo="sudo"
fi
echo "==> Updating the package lists (apt-get update; this may be quiet for up to a minute)"
$sudo apt-get update -q | sed -u 's/^/    /'
echo "==> Installing ${#missing[@]} Debian package(s): ${missing[*]}"
echo "    (downloading and unpacking may be quiet for a minute or more between lines)"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" \
    | grep --line-buffered -E '^(Get:|Unpacking |Setting up )' | sed -u 's/^/    /' || true
# The pipe above hides apt-get's own status; check what it left.
for pkg in "${missing[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' \
        || { echo "Could not install $pkg." >&2; exit 1; }
done
