#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the demo need. Idempotent and quiet
# when everything is present.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config ccache
    qt6-base-dev qt6-translations-l10n libssl-dev libpcre2-dev libgtest-dev
    libfreexl-dev liborcus-dev libboost-dev libexpat1-dev
    clang libclang-rt-14-dev
    xvfb xauth imagemagick fonts-wqy-microhei
    openssl parallel gcovr
    scdoc librsvg2-bin desktop-file-utils appstream dpkg-dev file lintian libcap2-bin
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
