#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Perchly need,
# but only those that are missing, so a ready machine starts at once.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libsndfile1-dev libasound2-dev zlib1g-dev libxcb1-dev libsqlite3-dev dbus
    nginx-light curl libcurl4-openssl-dev python3 strace
    libssl-dev openssl ca-certificates
    xvfb xauth xdotool xclip x11-apps x11-utils openbox fonts-wqy-microhei
    clang libclang-rt-14-dev
    qt6-translations-l10n
    dpkg-dev file lintian desktop-file-utils appstream
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Perchly needs these Debian packages: ${missing[*]}" >&2
    echo "Run 'make' as root once, or install them with apt-get." >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
