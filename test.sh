#!/usr/bin/env bash
# Builds everything and runs the whole test suite.
#   ./test.sh          normal build in build/
#   ./test.sh --asan   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#   ./test.sh --tsan   ThreadSanitizer build in build-tsan/
set -euo pipefail
cd "$(dirname "$0")"
dir=build
args=()
case "${1:-}" in
  --asan) dir=build-asan; args=(-DORBIS_ASAN=ON -DORBIS_BUILD_BENCH=OFF) ;;
  --tsan) dir=build-tsan; args=(-DORBIS_TSAN=ON -DORBIS_BUILD_BENCH=OFF) ;;
  "") ;;
  *) echo "usage: ./test.sh [--asan|--tsan]" >&2; exit 2 ;;
esac
scripts/setup.sh "$dir" "${args[@]}"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
# fontconfig (under Qt) keeps its configuration until exit; that is not our leak.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/ui/sanitizer-suppressions.txt}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
cd "$dir"
ctest --output-on-failure -j "$(nproc)" --timeout 600
