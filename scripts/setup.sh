#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those that are missing),
# then configures and builds into the given build directory.
# Usage: scripts/setup.sh BUILD_DIR [extra cmake arguments...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${1:-build}
shift || true

packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev qt6-base-dev-tools libgl-dev fonts-nanum xvfb xauth qt6-qpa-plugins
          desktop-file-utils)
# The CUPS tests start a scheduler of their own, the install test has udevadm parse the udev rule;
# their recommends (browsing, mDNS) are not wanted.
bare_packages=(cups-daemon cups-client libcups2-dev udev)

missing_of() {
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}
mapfile -t missing < <(missing_of "${packages[@]}")
mapfile -t missing_bare < <(missing_of "${bare_packages[@]}")
if [ $((${#missing[@]} + ${#missing_bare[@]})) -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]} ${missing_bare[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  if [ ${#missing[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
  fi
  if [ ${#missing_bare[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing_bare[@]}"
  fi
fi

cd "$here"
if [ ! -f "$build_dir/build.ninja" ]; then
  # A compiler cache, where the machine has one, makes the sanitizer builds and fresh clones cheap.
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  cmake -S . -B "$build_dir" -G Ninja "${launcher[@]}" "$@"
fi
cmake --build "$build_dir" -j "$(nproc)"
