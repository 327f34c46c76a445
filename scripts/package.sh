#!/usr/bin/env bash
# Builds the Debian package of the agent into dist/ (or the folder given):
#   scripts/package.sh [FOLDER]
# Installs the Debian packages the build needs, builds what the package holds
# in build/ (or $RELAYDOCK_BUILD_DIR) and runs CPack. Install the result with
#   sudo apt install ./dist/relaydock_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${RELAYDOCK_BUILD_DIR:-build}"
out="$(mkdir -p "${1:-dist}" && cd "${1:-dist}" && pwd)"
RELAYDOCK_SETUP_PACKAGES_ONLY=1 bash scripts/setup.sh
cmake -G Ninja -S . -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target relaydock relaydock-share relaydock_docs
(cd "$build_dir" && cpack -G DEB -B "$out")
rm -rf "$out/_CPack_Packages"
ls "$out"/relaydock_*.deb
