#!/usr/bin/env bash
# Installs the Debian packages that are missing; `deps.sh test` adds what the tests need,
# `deps.sh package` what building the Debian package needs.
set -euo pipefail
packages=(g++ cmake ninja-build pkg-config qt6-base-dev libqt6sql6-sqlite sqlite3 libzip-dev
          libcurl4-openssl-dev libssl-dev)
if [ "${1:-}" = test ] || [ "${1:-}" = package ]; then
    packages+=(dpkg-dev file)
fi
if [ "${1:-}" = test ] || [ "${1:-}" = bench ]; then
    packages+=(python3-pyftpdlib xvfb xauth xdotool trayer imagemagick x11-utils zip curl
               python3-pyatspi at-spi2-core dbus-daemon
               openssh-server openssh-client python3-openssl openssl p7zip-full)
    # s3rver, the test object store, comes from npm. A Node installed outside Debian brings its
    # own npm, which Debian's npm package would conflict with: only what is missing is added.
    command -v node >/dev/null || packages+=(nodejs)
    command -v npm >/dev/null || packages+=(npm)
fi
if [ "${1:-}" = test ]; then
    packages+=(lintian appstream desktop-file-utils librsvg2-bin man-db)
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
