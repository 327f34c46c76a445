#!/usr/bin/env bash
# End-to-end demonstration: one share from the stand-in editor to an asset
# registered in the stand-in Tessel service.
#
#   scripts/demo.sh [--gui] [--no-build] [--out DIR] [--keep]
#
#   --gui       show the agent's window (on $DISPLAY, or a virtual X server)
#   --no-build  use the binaries already built in $RELAYDOCK_BUILD_DIR (build/)
#   --out DIR   where the screenshot goes (default: demo-output/)
#   --keep      keep the temporary home (service data, agent files, logs)
#
# Everything runs in a temporary home; nothing of the user's is touched.
# Exits 0 only when the asset was registered; otherwise prints the failed
# step and the logs, and exits non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

gui=0 build=1 keep=0 out="$root/demo-output"
while [ $# -gt 0 ]; do
  case "$1" in
    --gui) gui=1; shift ;;
    --no-build) build=0; shift ;;
    --keep) keep=1; shift ;;
    --out) out="$2"; shift 2 ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    *) echo "demo: unknown option $1" >&2; exit 2 ;;
  esac
done

step() { printf '\n== %s\n' "$*"; }
fail() {
  echo "demo: FAILED: $*" >&2
  for f in "$tmp/service.log" "$tmp/agent.log" "$tmp/share.log"; do
    [ -s "$f" ] && { echo "---- $(basename "$f") ----" >&2; tail -n 40 "$f" >&2; }
  done
  exit 1
}

if [ "$build" = 1 ]; then
  step "Setting up and building"
  bash scripts/setup.sh
fi
bin="$root/${RELAYDOCK_BUILD_DIR:-build}/bin"
for b in relaydock share-client tessel-service corvane; do
  [ -x "$bin/$b" ] || { echo "demo: FAILED: $bin/$b is missing (build first)" >&2; exit 1; }
done
command -v ffmpeg >/dev/null || { echo "demo: FAILED: ffmpeg is not installed" >&2; exit 1; }
command -v python3 >/dev/null || { echo "demo: FAILED: python3 is not installed" >&2; exit 1; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/relaydock-demo.XXXXXX")
service_pid="" agent_pid=""
cleanup() {
  # The agent runs in a session of its own, so that a virtual X server
  # started for it goes too.
  [ -n "$agent_pid" ] && kill -- "-$agent_pid" 2>/dev/null && wait "$agent_pid" 2>/dev/null || true
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null && wait "$service_pid" 2>/dev/null || true
  if [ "$keep" = 1 ]; then echo "demo: files kept in $tmp"; else rm -rf "$tmp"; fi
}
trap cleanup EXIT

export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/config" XDG_DATA_HOME="$tmp/home/data"
export XDG_CACHE_HOME="$tmp/home/cache" XDG_RUNTIME_DIR="$tmp/home/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
socket="$XDG_RUNTIME_DIR/relaydock/appleevents.sock"

step "Starting the Tessel service with the demo library"
# Run as "corvane", the companion application the agent looks for before it
# asks the local service for credentials.
"$bin/corvane" --data "$tmp/tessel" --seed tools/tessel-service/seeds/demo.json \
  >"$tmp/service.out" 2>"$tmp/service.log" </dev/null &
service_pid=$!
for _ in $(seq 1 150); do
  grep -q '^listening on' "$tmp/service.out" 2>/dev/null && break
  kill -0 "$service_pid" 2>/dev/null || fail "the service exited at start"
  sleep 0.1
done
address=$(sed -n 's/^listening on //p' "$tmp/service.out" | head -n1)
[ -n "$address" ] || fail "the service did not start listening"
echo "service at http://$address"

step "Presetting the default destination: Demo Library / Documentary / Interviews"
mkdir -p "$XDG_CONFIG_HOME/Corvane"
cat >"$XDG_CONFIG_HOME/Corvane/Relaydock.conf" <<'EOF'
[General]
PREF_LIBRARY_DEFAULT_LIBRARY=demo
PREF_LIBRARY_DEFAULT_PROJECT=documentary-interviews
PREF_LIBRARY_USE_DEFAULT=true
PREF_EXPORT_STORE_TO=false
PREF_EXPORT_FCPXML_ONLY=false
EOF

step "Starting the agent"
mkdir -p "$out"
screenshot="$out/relaydock-window.png"
rm -f "$screenshot"
agent_cmd=("$bin/relaydock" --socket "$socket" --screenshot "$screenshot")
export RELAYDOCK_ALERT_AUTO_ANSWER=1
if [ "$gui" = 1 ]; then
  if [ -z "${DISPLAY:-}" ]; then
    command -v xvfb-run >/dev/null || fail "--gui without a display needs xvfb-run"
    agent_cmd=(xvfb-run -a "${agent_cmd[@]}")
  fi
else
  export QT_QPA_PLATFORM=offscreen
fi
setsid "${agent_cmd[@]}" >/dev/null 2>"$tmp/agent.log" </dev/null &
agent_pid=$!
for _ in $(seq 1 300); do
  grep -q 'Default destination: demo / documentary-interviews' "$tmp/agent.log" && break
  kill -0 "$agent_pid" 2>/dev/null || fail "the agent exited at start"
  sleep 0.1
done
grep -q 'Default destination: demo / documentary-interviews' "$tmp/agent.log" ||
  fail "the agent did not load its default destination"
echo "agent ready (pid $agent_pid)"

step "Making a short ProRes movie"
ffmpeg -v error -y -f lavfi -i "testsrc2=size=1280x720:rate=25" -f lavfi \
  -i "sine=frequency=440:sample_rate=48000" -t 3 -c:v prores_ks -profile:v 2 \
  -c:a pcm_s16le "$tmp/clip.mov" || fail "ffmpeg could not make the movie"
ls -l "$tmp/clip.mov"

step "Sharing it as the editor would"
name="Demo Interview"
"$bin/share-client" --socket "$socket" share --name "$name" --media "$tmp/clip.mov" \
  --write-seconds 2 \
  --meta "com.apple.quicktime.description=Morning interview with the director" \
  --meta "com.apple.quicktime.keywords=demo,interview,director" \
  --data-option "availableMetadataSets=Basic" | tee "$tmp/share.log" ||
  fail "share-client reported an error"

step "Waiting until the export is registered"
list="$XDG_DATA_HOME/group.com.corvane.pro/Relaydock/assets.plist"
python3 - "$list" "$name" <<'EOF' || fail "the export did not complete"
import plistlib, sys, time, os
path, name = sys.argv[1], sys.argv[2]
deadline = time.time() + 90
names = {0: "waiting", 1: "exporting", 2: "completed", 3: "canceled", 4: "creating",
         5: "uploading", 6: "create failed", 7: "upload failed"}
last = None
while time.time() < deadline:
    if os.path.exists(path):
        with open(path, "rb") as f:
            items = plistlib.load(f)
        item = next((i for i in items if i.get("name") == name), None)
        if item:
            state = (item.get("exportstatus"), item.get("fcpxmlstatus"))
            if state != last:
                print("status: movie %s, FCPXML %s" % (names.get(state[0], state[0]),
                                                       names.get(state[1], state[1])))
                last = state
            if state == (2, 2):
                sys.exit(0)
            if state[0] in (3, 6, 7):
                sys.exit(1)
    time.sleep(0.2)
sys.exit(1)
EOF

step "The asset record the service stored"
python3 - "$address" "$name" <<'EOF' || fail "the service has no asset for the share"
import json, sys, urllib.request
address, name = sys.argv[1], sys.argv[2]
with urllib.request.urlopen("http://%s/tessel/libraries/demo/assets" % address) as r:
    items = [a for a in json.load(r)["items"] if a.get("name") == name]
print(json.dumps(items, indent=2, ensure_ascii=False))
sys.exit(0 if items and all(a.get("_completed") for a in items) else 1)
EOF

step "The export list"
python3 - "$list" <<'EOF'
import plistlib, sys
with open(sys.argv[1], "rb") as f:
    items = plistlib.load(f)
for item in items:
    print("%-20s movie status %s  FCPXML status %s  asset %s" % (
        item.get("name"), item.get("exportstatus"), item.get("fcpxmlstatus"), item.get("assetid")))
    for key in ("original", "fcpxml", "thumbnail"):
        if key in item:
            print("    %-9s %s" % (key, item[key]))
EOF

step "Saving a screenshot of the main window"
# Under xvfb-run the agent is a child in the session started for it.
agent_main=$(pgrep -s "$agent_pid" -x relaydock | head -n1 || true)
[ -n "$agent_main" ] || fail "the agent process is gone"
kill -USR1 "$agent_main"
for _ in $(seq 1 100); do
  [ -s "$screenshot" ] && break
  sleep 0.1
done
[ -s "$screenshot" ] || fail "no screenshot was written"
echo "screenshot: $screenshot"

step "Stopping"
"$bin/share-client" --socket "$socket" quit >/dev/null || fail "the agent did not accept quit"
wait "$agent_pid" || fail "the agent did not end cleanly"
agent_pid=""
echo "demo: OK"
