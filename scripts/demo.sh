#!/usr/bin/env bash
# End-to-end demonstration. For now: builds everything and runs the pieces
# that exist.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
echo "demo: build complete; binaries in build/bin:"
ls build/bin
