#!/usr/bin/env bash
# Installs what building and testing veskpanel needs on Debian 12 / Ubuntu (as root or with sudo).
set -euo pipefail

# ser2net: the port tests reach the simulator through a real one over TCP.
# qt6-tools-dev and qt6-l10n-tools: the translations (CMake's LinguistTools, lupdate, lrelease).
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev qt6-translations-l10n
          qt6-tools-dev qt6-l10n-tools libgl-dev fonts-noto-cjk ser2net
          libmosquitto-dev mosquitto mosquitto-clients openssl python3-labgrid pdudaemon)
# libmosquitto builds vesk-mqtt; its tests and benchmark start their own mosquitto broker and talk
# to it with the command-line clients (openssl makes the certificates of the TLS test).
# python3-labgrid and pdudaemon: the test of the lab tools' examples runs both against the
# simulator, pdudaemon on a port of its own (where systemd runs, the package also starts its own
# service on port 16421).

# clang and its libFuzzer runtime, for the fuzz targets.
[ "${VESK_WITH_CLANG:-0}" = 1 ] && packages+=(clang libclang-rt-dev)
# The format check (.ci/run).
[ "${VESK_WITH_FORMAT:-0}" = 1 ] && packages+=(clang-format)
# Checking the install tree and building the Debian package (scripts/check-install.sh).
[ "${VESK_WITH_PACKAGING:-0}" = 1 ] && packages+=(desktop-file-utils appstream dpkg-dev)
# Rendering the README's screenshot under a virtual X server (scripts/screenshot.sh).
[ "${VESK_WITH_SCREENSHOT:-0}" = 1 ] && packages+=(xvfb x11-apps x11-utils netpbm qt6-qpa-plugins)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
