#!/usr/bin/env bash
# Installs the Debian packages Corvamat needs to build and test, skipping those already present.
set -euo pipefail
packages=(g++ cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev qt6-svg-dev
          nlohmann-json3-dev sdcc sdcc-ucsim xvfb xauth jq lcov valgrind gtkwave)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    {
      echo "These Debian packages are missing: ${missing[*]}"
      echo "Install them as root, for example:"
      echo "  su -c 'apt-get update && apt-get install -y ${missing[*]}'"
    } >&2
    exit 1
  fi
  sudo=(sudo)
fi

# Another package manager (an automatic update right after boot, say) may hold apt's locks: wait
# for them up to ten minutes instead of failing at once.
lock_wait=600
apt_get() {
  local deadline=$((SECONDS + lock_wait)) log
  log=$(mktemp)
  while true; do
    if "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=60 "$@" 2>"$log"; then
      cat "$log" >&2
      rm -f "$log"
      return 0
    fi
    if grep -qiE "could not get lock|unable to lock|unable to acquire" "$log" && [ $SECONDS -lt $deadline ]; then
      echo "Waiting for another package manager to finish..." >&2
      sleep 10
      continue
    fi
    cat "$log" >&2
    rm -f "$log"
    return 1
  done
}
apt_get update
apt_get install -y "${missing[@]}"
