#!/usr/bin/env bash
# Renders the agent's windows and images to PNG files under a virtual X
# display, so a person can look at them.
#   scripts/screenshot.sh [FOLDER] [SCENE...]    FOLDER defaults to screenshots/
#   scripts/screenshot.sh --list                 names of the scenes
#   scripts/screenshot.sh --live [FOLDER]        the whole screen of a live session
#
# --live runs the agent on its own X display with a window manager and walks
# through the journeys of tests/live (the destination sheet, the no-library
# alert, the export list, the About panel), saving the screen as a person
# sees it at each step: live-sheet.png, live-alert.png, live-main.png,
# live-about.png. The other mode renders each window and image on its own.
set -euo pipefail
cd "$(dirname "$0")/.."

live=0
if [ "${1:-}" = "--live" ]; then
  live=1
  shift
fi
folder="screenshots"
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then
  folder="$1"
  shift
fi

# Helvetica's metric twin, so the type looks as designed (fontconfig maps
# Helvetica to it); without it the design falls back to the machine's sans.
if ! dpkg-query -W -f='${Status}' fonts-liberation2 2>/dev/null | grep -q "install ok installed"; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq || true
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq fonts-liberation2 || \
    echo "screenshot: fonts-liberation2 not installed; using the default sans-serif" >&2
fi

bash scripts/setup.sh
build_dir="${RELAYDOCK_BUILD_DIR:-build}"
if [ "$live" = 1 ]; then
  mkdir -p "$folder"
  folder=$(cd "$folder" && pwd)
  RELAYDOCK_LIVE_SHOTS="$folder" QT_QPA_PLATFORM=offscreen "$build_dir/bin/test_live" \
    --gtest_brief=1 || { echo "screenshot: a live journey failed" >&2; exit 1; }
  echo "live screenshots written to $folder/"
  exit 0
fi
tool="$build_dir/bin/relaydock-screenshot"
if [ ! -x "$tool" ]; then
  echo "screenshot: $tool was not built" >&2
  exit 1
fi
if [ "${1:-}" = "--list" ]; then
  exec "$tool" --list
fi
mkdir -p "$folder"
# The tool talks to a real X server; xvfb-run gives it one for this run only.
xvfb-run -a -s "-screen 0 1600x1200x24" "$tool" --out "$folder" "$@"
echo "screenshots written to $folder/"
