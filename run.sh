#!/usr/bin/env bash
# Builds the project, then lets the Dvc library save three settings commands as a command file.
# (Interim: until the application exists, this shows the library at work through orbis-cli.)
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh build

# A fresh Windows stand-in root: registry, drive C: and devices live under it.
rm -rf run/root run/out
mkdir -p run/root run/out
export ORBIS_ROOT="$PWD/run/root"
cli=build/bin/orbis-cli

# Log every step, packet dumps included, to C:\VanDvc32.log.
"$cli" log-level 0x13

# Three setting commands of 7, 9 and 12 bytes, written as saving a command file does:
# offline into offline.dat, each command behind the NPA start packet, online at the end.
"$cli" write run/out/settings.npa \
  "A5 00 04 50 E1 01 01" \
  "A5 00 06 50 E1 02 00 01 05" \
  "A5 00 09 50 E1 03 00 02 00 00 00 0A"

echo
echo "Files written:"
wc -c run/out/settings.npa run/out/offline.dat
echo
echo "run/out/settings.npa:"
od -A d -t x1 run/out/settings.npa
echo
echo "run/out/offline.dat:"
od -A d -t x1 run/out/offline.dat
echo
echo "Log (run/root/c/VanDvc32.log), first lines:"
head -n 20 run/root/c/VanDvc32.log
