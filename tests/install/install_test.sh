#!/usr/bin/env bash
# install_test.sh BUILD_DIR: cmake --install into a staging prefix, then drive the
# installed programs from an unrelated directory against the installed simulator.
set -euo pipefail
build=$1
tmp=$(mktemp -d)
sim=""
gui=""
cleanup() {
    set +e
    for pid in $gui $sim; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

stage=$tmp/stage
cmake --install "$build" --prefix "$stage" >/dev/null
for f in bin/orbis-cli bin/orbis-printer-sim share/orbis-lp2200/quillon.ini \
         share/bash-completion/completions/orbis-cli share/man/man1/orbis-cli.1.gz \
         lib/udev/rules.d/70-orbis-lp2200.rules \
         share/man/man1/orbis-settings.1.gz share/man/man1/orbis-printer-sim.1.gz; do
    [ -e "$stage/$f" ] || fail "not installed: $f"
done

# Every setting the catalogue reads: the names of its [NPA READ SETTING] lines.
catalogue=$stage/share/orbis-lp2200/quillon.ini
settings=$(awk -F= '/^\[/ { inside = (toupper($0) ~ /^\[NPA READ SETTING\]/); next }
                    inside && /=/ { print toupper($1) }' "$catalogue" | sort -u | wc -l)
[ "$settings" -gt 50 ] || fail "the installed catalogue names only $settings settings"

export ORBIS_ROOT=$tmp/root
work=$tmp/elsewhere
mkdir -p "$work" "$ORBIS_ROOT"
cd "$work"
"$stage/bin/orbis-printer-sim" --lpt 1 --marker VNPAP --ready-file "$tmp/ready" --log "$tmp/sim.log" >/dev/null 2>&1 &
sim=$!
for _ in $(seq 200); do [ -f "$tmp/ready" ] && break; sleep 0.05; done
[ -f "$tmp/ready" ] || { cat "$tmp/sim.log"; fail "the installed simulator did not get ready"; exit 1; }

out=$("$stage/bin/orbis-cli" query) || fail "query exited $?"
got=$(grep -c '^[A-Z0-9_]*=' <<<"$out" || true)
[ "$got" -eq "$settings" ] || fail "query printed $got settings, the catalogue reads $settings"

if command -v python3 >/dev/null; then
    got=$("$stage/bin/orbis-cli" --format json query LPT1 |
          python3 -c 'import json, sys; print(len(json.load(sys.stdin)["settings"]))') || fail "json query"
    [ "$got" = "$settings" ] || fail "json query held $got settings, the catalogue reads $settings"
fi

# With every source on but no host printer and no CUPS (an empty sysfs, a scheduler that is not
# there), the utility behaves as with the simulator alone.
mkdir -p "$tmp/nosys/class" "$tmp/nodev"
printf '[Kernel]\nSysfs=%s\nDev=%s\nProc=%s\n[Cups]\nServer=%s\n' "$tmp/nosys" "$tmp/nodev" "$tmp/nosys" \
    "$tmp/no-cups.sock" >"$ORBIS_ROOT/sources.ini"
[ "$(env -u ORBIS_SOURCES "$stage/bin/orbis-cli" query)" = "$out" ] ||
    fail "all sources on, no host printer: the query differs from the simulator's alone"
got=$(env -u ORBIS_SOURCES "$stage/bin/orbis-cli" devices)
[ "$(grep -c . <<<"$got")" -eq 1 ] && grep -q '\[simulated\]$' <<<"$got" ||
    fail "all sources on, no host printer: devices listed $got"
rm "$ORBIS_ROOT/sources.ini"

# --root in place of ORBIS_ROOT; --log-level logs this run without touching the registry's level.
(unset ORBIS_ROOT; "$stage/bin/orbis-cli" --root "$tmp/root" --log-level 0x13 probe LPT1 >/dev/null) ||
    fail "probe with --root and --log-level"
grep -q 'DvcOpenPort' "$tmp/root/c/VanDvc32.log" 2>/dev/null || fail "--log-level 0x13 wrote no log"
grep -qi '"LoggingLevel"=dword:00000000' "$tmp/root/registry.reg" || fail "--log-level changed the registry"

# .\quillon.ini in the working directory comes first: one read line less, one setting less.
mkdir -p "$tmp/own"
grep -v '^LINESPERPG=' "$catalogue" >"$tmp/own/quillon.ini"
got=$(cd "$tmp/own" && "$stage/bin/orbis-cli" query LPT1 | grep -c '^[A-Z0-9_]*=' || true)
[ "$got" -eq $((settings - 1)) ] || fail "with a catalogue in the working directory: $got settings, not $((settings - 1))"

# A program installed without its data finds no catalogue, says where it looked, and fails.
mkdir -p "$tmp/bare/bin"
cp "$stage/bin/orbis-cli" "$tmp/bare/bin/"
status=0
err=$("$tmp/bare/bin/orbis-cli" query LPT1 2>&1 >/dev/null) || status=$?
[ "$status" -eq 6 ] || fail "no catalogue: exit status $status, not 6"
grep -qF "$work/quillon.ini" <<<"$err" || fail "no catalogue: the working directory is not named: $err"
grep -qF "$tmp/bare/share/orbis-lp2200/quillon.ini" <<<"$err" || fail "no catalogue: the data directory is not named: $err"

if [ -e "$stage/share/applications/orbis-lp2200.desktop" ]; then
    entry=$stage/share/applications/orbis-lp2200.desktop
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$entry" || fail "desktop-file-validate"
    else
        echo "desktop-file-validate is not installed: the entry is not validated"
    fi
    for size in 16 22 24 32 48 64 128 256; do
        [ -e "$stage/share/icons/hicolor/${size}x${size}/apps/orbis-lp2200.png" ] || fail "no ${size}x${size} icon"
    done
    # The entry's command line, from here: the window comes up once the query of every setting is done.
    exec_line=$(sed -n 's/^Exec=//p' "$entry")
    QT_QPA_PLATFORM=offscreen "$stage/bin/$exec_line" >"$tmp/gui.log" 2>&1 &
    gui=$!
    for _ in $(seq 200); do
        grep -q "query of $settings settings" "$tmp/sim.log" && break
        kill -0 "$gui" 2>/dev/null || break
        sleep 0.05
    done
    grep -q "query of $settings settings" "$tmp/sim.log" || fail "orbis-settings did not query: $(cat "$tmp/gui.log")"
fi

# The udev rule tags exactly the family's usblp nodes: one of the markers the library
# recognises (case as listed, " NPAP" only behind a blank and before "," or ";"), no other ID.
rule=$stage/lib/udev/rules.d/70-orbis-lp2200.rules
IFS='|' read -ra alternatives <<<"$(sed -n 's/.*ATTRS{ieee1284_id}=="\([^"]*\)".*/\1/p' "$rule")"
tagged() {
    for pattern in "${alternatives[@]}"; do [[ $1 == $pattern ]] && return 0; done
    return 1
}
for id in "MFG:Vantrel;MDL:Orbis LP 2200;" "CMD:PJL,VNPAP;" "CMD:vnpap;" "CMD:Vnpap;" "CMD:PJL, NPAP,PCL;" \
          "CMD:PJL, NPAP;" "CMD:CPDNPA00;" "CMD:cpdnpa00;" "CMD:Cpdnpa00;"; do
    tagged "$id" || fail "the udev rule leaves out a family printer: $id"
done
for id in "MFG:HP;MDL:LaserJet 4;CMD:PJL,PCL;" "MFG:VANTREL;" "CMD:PJL,NPAP;" "CMD:PJL,NPAP,PCL;" "CMD:PJL, NPAP" "CMD:CPDNPA0;" ""; do
    tagged "$id" && fail "the udev rule tags another printer: $id"
done
grep -q 'SUBSYSTEM=="usbmisc", KERNEL=="lp\[0-9\]\*"' "$rule" || fail "the udev rule is not for usblp nodes alone"
# udev itself parses it (udevadm test on a device every system has), in a mount namespace
# where the rule is the only one and nothing udev writes outlives the check.
if command -v udevadm >/dev/null && [ "$(id -u)" -eq 0 ] && unshare -m true 2>/dev/null; then
    unshare -m bash -c '
        for d in /etc/udev/rules.d /usr/lib/udev/rules.d /lib/udev/rules.d /usr/local/lib/udev/rules.d; do
            [ -d "$d" ] && mount -t tmpfs none "$d"
        done
        mount -t tmpfs none /run && mkdir -p /run/udev/rules.d && cp "$1" /run/udev/rules.d/
        mount -t tmpfs none /dev
        SYSTEMD_LOG_LEVEL=debug udevadm test --action=add /devices/virtual/mem/null >"$2" 2>&1' \
        _ "$rule" "$tmp/udevadm.log" || true
    grep -q "Reading rules file: /run/udev/rules.d/70-orbis-lp2200.rules" "$tmp/udevadm.log" ||
        fail "udevadm did not read the rule: $(cat "$tmp/udevadm.log")"
    if grep "^/run/udev/rules.d/70-orbis-lp2200.rules:" "$tmp/udevadm.log"; then fail "udevadm refuses the rule"; fi
else
    echo "udevadm (or a mount namespace) is not available: the rule is not parsed by udev"
fi

if [ "$failures" -eq 0 ]; then echo "installed programs: all checks passed"; fi
exit $((failures > 0))
