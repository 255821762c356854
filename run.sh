#!/usr/bin/env bash
# Builds the project and opens the settings utility against a simulated printer.
#   ./run.sh          a printer on LPT1 whose device ID names its NPA support (fast start)
#   ./run.sh --usb    a printer on USB001
#   ./run.sh --both   one on each (the selection dialog shows)
#   ./run.sh --pjl    a printer that must be asked its NPA mode with the PJL inquiry
#                     (the parallel open then waits for the answer, up to three seconds)
# --pjl goes with --usb or --both too.
# Without a display ($DISPLAY and $WAYLAND_DISPLAY empty) it says so and prints
# the printer's settings with orbis-cli instead.
set -euo pipefail
cd "$(dirname "$0")"
ports=(--lpt 1)
first_port=LPT1
# VNPAP in the device ID: the library knows the NPA mode without the PJL inquiry.
marker=(--marker VNPAP)
for arg in "$@"; do
  case "$arg" in
    --usb) ports=(--usb 1); first_port=USB001 ;;
    --both) ports=(--lpt 1 --usb 1) ;;
    --pjl) marker=() ;;
    *) echo "usage: ./run.sh [--usb|--both] [--pjl]" >&2; exit 2 ;;
  esac
done
scripts/setup.sh build

# A fresh Windows stand-in root (registry, drive C:, devices) and a working
# directory holding the catalogue, which the program reads as .\quillon.ini.
here=$PWD
rm -rf run/root run/work
mkdir -p run/root run/work
cp res/quillon.ini run/work/quillon.ini
export ORBIS_ROOT="$here/run/root"

build/bin/orbis-printer-sim --root "$ORBIS_ROOT" "${ports[@]}" ${marker[@]+"${marker[@]}"} --ready-file run/root/ready \
  --log run/root/sim.log >/dev/null 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 200); do
  [ -f run/root/ready ] && break
  kill -0 "$sim" 2>/dev/null || { echo "the simulated printer did not start (see run/root/sim.log)" >&2; exit 1; }
  sleep 0.05
done
[ -f run/root/ready ] || { echo "the simulated printer did not get ready" >&2; exit 1; }

cd run/work
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display (DISPLAY and WAYLAND_DISPLAY are empty): the window cannot open."
  echo "The simulated printer's settings, as the utility would read them (orbis-cli query):"
  "$here/build/bin/orbis-cli" query "$first_port"
  exit 0
fi
"$here/build/bin/orbis-settings"
