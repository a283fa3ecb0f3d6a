#!/usr/bin/env bash
# Installs the Debian packages VERNA needs to build, test and run; only what is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ ccache pkg-config dpkg-dev
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-odbc
  qt6-charts-dev qt6-webengine-dev libqt6opengl6-dev libgl-dev qt6-svg-dev qt6-qpa-plugins
  unixodbc unixodbc-dev odbc-postgresql
  libsqlite3-dev libxlsxwriter-dev libzip-dev
  libgtest-dev libgmock-dev
  postgresql python3
  clang libclang-rt-14-dev
  xvfb xauth fonts-dejavu-core qt6-translations-l10n
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Instaluji chybějící balíčky: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
