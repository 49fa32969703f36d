#!/usr/bin/env bash
# Installs the Debian 12 packages Zorvane needs to build, run and test,
# skipping the ones already there. Run as root (or through sudo).
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6test6 qt6-qpa-plugins qcoro-qt6-dev
    qtkeychain-qt6-dev libsecret-1-0 gnome-keyring dbus openssl
    fonts-dejavu-core
    python3 python3-aiosmtpd
    clang libclang-rt-14-dev
    xvfb xauth xdotool
    desktop-file-utils appstream
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=()
    ((EUID == 0)) || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
