#!/usr/bin/env bash
# Installs what k3gap needs to build, test and run on Debian 12, skipping what is already there.
set -euo pipefail
pkgs=(g++ cmake make pkg-config qt6-base-dev libsqlite3-dev libcurl4-openssl-dev libxml2-dev libxlsxwriter-dev
      qt6-charts-dev libqt6opengl6-dev googletest libgtest-dev libbenchmark-dev xvfb xauth fonts-wqy-microhei
      python3 clang-format qt6-translations-l10n dpkg-dev file librsvg2-bin xdotool imagemagick clang
      libclang-rt-14-dev libboost-math-dev ccache libzip-dev libfreexl-dev nlohmann-json3-dev
      g++-mingw-w64-x86-64-posix)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
