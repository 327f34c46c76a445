#!/usr/bin/env bash
# Installs the Debian packages the build needs (only the missing ones), then
# configures and builds into build/ (or $RELAYDOCK_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev
  libplist-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  libglib2.0-dev
  libcpp-httplib-dev libsqlite3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  ffmpeg xvfb xdotool openbox x11-apps imagemagick python3 clang-format shared-mime-info
  desktop-file-utils appstream poppler-utils dpkg-dev fonts-dejavu-core dbus
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
[ "${RELAYDOCK_SETUP_PACKAGES_ONLY:-0}" = 1 ] && exit 0

build_dir="${RELAYDOCK_BUILD_DIR:-build}"
cmake_args=(-G Ninja -S . -B "$build_dir")
if [ -n "${RELAYDOCK_SANITIZE:-}" ]; then
  cmake_args+=(-DRELAYDOCK_SANITIZE="$RELAYDOCK_SANITIZE")
fi
cmake "${cmake_args[@]}" >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
