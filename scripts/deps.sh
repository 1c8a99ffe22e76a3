#!/usr/bin/env bash
# Installs the packages the build and the tests need, when any is missing.
# Idempotent: when everything is there it only checks and returns.
set -euo pipefail

packages=(cmake make g++ g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  wine wine64 xvfb xauth googletest libgtest-dev
  clang libclang-rt-14-dev libbenchmark-dev python3 nlohmann-json3-dev nsis
  nftables iproute2 libboost1.81-dev prometheus chromium)
# Node.js with npm, for the status page's browser check: the machine's own
# when it has one (an image may bring Node.js with npm inside, which
# Debian's npm package conflicts with), Debian's otherwise.
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
