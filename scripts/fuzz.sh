#!/usr/bin/env bash
# Builds the libFuzzer targets with clang-14 (AddressSanitizer + UBSan, in
# build-fuzz/) and runs one of them for a while on its corpus.
#   scripts/fuzz.sh TARGET SECONDS [--keep] [libFuzzer options...]
# Targets: appleevent, plist_records, service_answer, project_tree.
# The corpus is tests/fuzz/corpus/TARGET/; new inputs go to a scratch folder
# and, with --keep, the ones that add coverage are merged into the corpus.
# A crash leaves its input in build-fuzz/artifacts/TARGET/ and exits non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 2 ]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS [--keep] [libFuzzer options...]" >&2
  exit 2
fi
target="$1" seconds="$2"
shift 2
keep=0
if [ "${1:-}" = "--keep" ]; then keep=1; shift; fi
case "$target" in
  appleevent|plist_records|service_answer|project_tree) ;;
  *) echo "fuzz.sh: unknown target '$target'" >&2; exit 2 ;;
esac

build="${RELAYDOCK_FUZZ_BUILD_DIR:-build-fuzz}"
if ! command -v clang++-14 >/dev/null ||
   ! ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  echo "fuzz.sh: installing clang-14 and its runtime"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq clang-14 libclang-rt-14-dev
fi
if [ ! -f "$build/build.ninja" ]; then
  # -O1 with line tables: quick to build, fast enough to fuzz, readable stacks.
  CC=clang-14 CXX=clang++-14 cmake -G Ninja -S . -B "$build" -DRELAYDOCK_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" >/dev/null
fi
ninja -C "$build" -j "${RELAYDOCK_JOBS:-2}" "fuzz_$target"

corpus="tests/fuzz/corpus/$target"
scratch="$build/scratch/$target"
artifacts="$build/artifacts/$target"
mkdir -p "$corpus" "$scratch" "$artifacts"
dict=()
[ -f "tests/fuzz/dict/$target.dict" ] && dict=(-dict="tests/fuzz/dict/$target.dict")

export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
# The agent's log lines would drown libFuzzer's own.
export QT_LOGGING_RULES="relaydock.info=false"
log="$build/fuzz-$target.log"
status=0
"$build/bin/fuzz_$target" -max_total_time="$seconds" -max_len=65536 -timeout=20 \
  -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$artifacts/" \
  "${dict[@]}" "$@" "$scratch" "$corpus" 2>&1 | tee "$log" || status=$?

if [ "$keep" = 1 ] && [ "$status" = 0 ]; then
  "$build/bin/fuzz_$target" -merge=1 "$corpus" "$scratch" >/dev/null 2>&1
fi
# One line for docs/reliability.md: executions, coverage, features, corpus.
execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 || true)
echo "fuzz.sh: $target ${seconds}s executions=${execs:-?} ${cov:-} exit=$status"
exit "$status"
