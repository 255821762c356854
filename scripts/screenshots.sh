#!/usr/bin/env bash
# Pictures of every settings page and of the main window, as the program draws
# them with the shipped catalogue and a simulated printer on LPT1:
#   scripts/screenshots.sh [BUILD_DIR]     (default: build)  -> docs/screenshots/*.png
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$repo/build}"
[[ "$build" = /* ]] || build="$repo/$build"
out="$repo/docs/screenshots"

if [[ ! -f "$build/build.ninja" ]]; then
  cmake -S "$repo" -B "$build" -G Ninja
fi
cmake --build "$build" -j2 --target orbis-printer-sim orbis-page-shots

work="$(mktemp -d)"
sim_pid=""
cleanup() {
  if [[ -n "$sim_pid" ]]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/root"
cp "$repo/res/quillon.ini" "$work/quillon.ini"
export ORBIS_ROOT="$work/root"
"$build/bin/orbis-printer-sim" --root "$ORBIS_ROOT" --lpt 1 --ready-file "$work/ready" --log "$work/sim.log" &
sim_pid=$!
for _ in $(seq 1 200); do
  [[ -f "$work/ready" ]] && break
  kill -0 "$sim_pid" 2>/dev/null || { echo "screenshots: the simulated printer did not start" >&2; cat "$work/sim.log" >&2; exit 1; }
  sleep 0.05
done
[[ -f "$work/ready" ]] || { echo "screenshots: the simulated printer is not ready" >&2; exit 1; }

mkdir -p "$out"
# The program reads .\quillon.ini from its current directory.
(cd "$work" && QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$build/bin/orbis-page-shots" "$out")
ls -1 "$out"
