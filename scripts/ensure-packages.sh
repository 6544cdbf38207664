#!/usr/bin/env bash
# Installs the Debian packages named as arguments that are not installed yet,
# and says what it is doing.
set -euo pipefail
missing=()
for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
        echo "Missing Debian packages: ${missing[*]}. Run this as root, or install sudo, so they can be installed." >&2
        exit 1
    fi
    sudo="sudo"
fi
echo "==> Updating the package lists (apt-get update)"
$sudo apt-get update -q | sed 's/^/    /'
echo "==> Installing ${#missing[@]} Debian package(s): ${missing[*]}"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" \
    | grep --line-buffered -E '^(Get:|Unpacking |Setting up )' | sed 's/^/    /' || true
# The pipe above hides apt-get's own status; check what it left.
for pkg in "${missing[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' \
        || { echo "Could not install $pkg." >&2; exit 1; }
done
