#!/bin/sh
# run_fuzz.sh CLANGXX SOURCE_ROOT WORK_DIR FUZZ_CPP [SECONDS]
# Builds one libFuzzer target with the sources named on its "// fuzz-sources:" lines
# (at the top of the file) and runs it.
set -eu
cxx=$1 root=$2 work=$3 src=$4 seconds=${5:-5}
name=$(basename "$src" .cpp)
mkdir -p "$work/$name.corpus"
sources=$(sed -n 's|^// fuzz-sources:||p' "$src")
set --
for s in $sources; do set -- "$@" "$root/$s"; done
"$cxx" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root" -I"$root/platform" -I"$root/comm" -I"$root/settings" \
    "$src" "$@" -pthread -o "$work/$name"
cd "$work"
"./$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "$work/$name.corpus"
