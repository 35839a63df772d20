#!/usr/bin/env bash
# Installs what Quillstack needs to build, run and test on Debian 12.
set -euo pipefail
packages=(
    cmake g++ ninja-build pkg-config ccache
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libsqlite3-dev sqlite3
    libpq-dev postgresql-15 postgresql-common
    fonts-liberation poppler-utils
    xvfb xauth
    clang clang-format libfuzzer-14-dev
    # Making and checking the Debian package (cpack, dpkg-shlibdeps, lintian).
    dpkg-dev file lintian appstream
)
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
