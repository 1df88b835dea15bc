#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, only those that are missing.
# Safe to run again: it does nothing when everything is there.
set -euo pipefail

pkgs=(
  build-essential cmake ninja-build pkg-config g++ clang libclang-rt-14-dev
  qt6-base-dev qt6-base-private-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools libqt6uitools6 designer-qt6
  libqt6opengl6-dev libgl-dev libxkbcommon-dev libvulkan-dev
  zlib1g-dev libsqlite3-dev sqlite3 libpq-dev postgresql
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth fonts-wqy-microhei fonts-liberation
  libopencc-dev libopencc-data
  unicode-data bzip2
  libxlsxwriter-dev qt6-translations-l10n unzip
  libgrpc++-dev libprotobuf-dev protobuf-compiler protobuf-compiler-grpc libssl-dev openssl
  python3
)

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
