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

if [ "$failures" -eq 0 ]; then echo "installed programs: all checks passed"; fi
exit $((failures > 0))
