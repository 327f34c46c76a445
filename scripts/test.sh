#!/usr/bin/env bash
# Builds everything and runs the whole test suite.
#   scripts/test.sh                     plain build in build/
#   scripts/test.sh --sanitize address  AddressSanitizer + UBSan in build-asan/
#   scripts/test.sh --sanitize thread   ThreadSanitizer in build-tsan/
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=""
ctest_extra=()
while [ $# -gt 0 ]; do
  case "$1" in
    --sanitize) sanitize="$2"; shift 2 ;;
    *) ctest_extra+=("$1"); shift ;;
  esac
done

case "$sanitize" in
  "") export RELAYDOCK_BUILD_DIR="${RELAYDOCK_BUILD_DIR:-build}" ;;
  address) export RELAYDOCK_BUILD_DIR="${RELAYDOCK_BUILD_DIR:-build-asan}" RELAYDOCK_SANITIZE=address
           export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" ;;
  thread) export RELAYDOCK_BUILD_DIR="${RELAYDOCK_BUILD_DIR:-build-tsan}" RELAYDOCK_SANITIZE=thread
          # Reports from inside the uninstrumented system libraries are
          # suppressed (scripts/tsan.supp says which and why).
          export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp" ;;
  *) echo "test.sh: unknown sanitizer '$sanitize' (address or thread)" >&2; exit 2 ;;
esac

bash scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
cd "$RELAYDOCK_BUILD_DIR"
ctest --output-on-failure --timeout 300 -j "$(nproc)" "${ctest_extra[@]}"
