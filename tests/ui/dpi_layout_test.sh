#!/usr/bin/env bash
# The windows' layout test again at other scales, each in a Wine prefix of
# its own whose LogPixels gives the scale (scripts/dpi-prefix), so that no
# other test runs at it.
#   dpi_layout_test.sh BIN_DIR DPI...
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bin=$1
shift
failed=0
for dpi in "$@"; do
  prefix=$("$here/scripts/dpi-prefix" "$dpi")
  echo "--- at $dpi dpi"
  WINEPREFIX=$prefix BRIDGE_EXPECTED_DPI=$dpi "$here/scripts/with-wine" wine "$bin/tests/dpi_tests.exe" || failed=1
  rm -rf "$prefix"
done
exit $failed
