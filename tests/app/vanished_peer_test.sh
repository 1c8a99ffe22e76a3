#!/usr/bin/env bash
# Peers that vanish without a word, as they do: in a private network
# namespace, every packet of one connection is dropped (nft) and the bridge
# must notice within a minute. Runs the bridge, its own wineserver and the
# peers inside the namespace (Wine's sockets live in the wineserver's), on a
# copy-on-write view of the Wine prefix. Needs root, as CI has.
#   vanished_peer_test.sh [BIN_DIR [CASE_WORD...]]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
if [ -z "${BRIDGE_PRIVATE_NET:-}" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: needs root (unshare, nft)" >&2
    exit 77
  fi
  export BRIDGE_PRIVATE_NET=1
  exec unshare --net --mount bash "$0" "$@"
fi
mount --make-rprivate /
ip link set lo up
prefix=${WINEPREFIX:-$here/build/wineprefix}
if [ ! -f "$prefix/system.reg" ]; then
  "$here/scripts/with-wine" true
fi
# A wineserver of this namespace's own (its socket folder hidden from the
# one outside), over a view of the prefix whose changes go nowhere.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "/tmp/.wine-$(id -u)" "$scratch/upper" "$scratch/work"
mount -t tmpfs tmpfs "/tmp/.wine-$(id -u)"
mount -t overlay overlay -o "lowerdir=$prefix,upperdir=$scratch/upper,workdir=$scratch/work" "$prefix"
# An X server of its own too: the outer one's abstract socket is not here.
unset DISPLAY BRIDGE_IN_XVFB
export WINEPREFIX=$prefix
"$here/scripts/with-wine" python3 "$here/tests/app/vanished_peer_test.py" "${1:-$here/build/win}" "${@:2}"
