#!/usr/bin/env bash
# The windows' layout test again at other scales, each in a Wine prefix of
# its own whose LogPixels gives the scale, so that no other test runs at it:
# the registry is the prefix's own copy, the Windows folder the project
# prefix's.
#   dpi_layout_test.sh BIN_DIR DPI...
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bin=$1
shift
base=${WINEPREFIX:-$here/build/wineprefix}
[ -f "$base/system.reg" ] || "$here/scripts/with-wine" true
failed=0
for dpi in "$@"; do
  prefix=$(mktemp -d)
  cp "$base"/*.reg "$prefix"/
  cp "$base"/.update-timestamp "$base"/.bridge-settings-* "$prefix"/ 2>/dev/null || true
  cp -a "$base/dosdevices" "$prefix"/
  ln -s "$base/drive_c" "$prefix/drive_c"
  # The scale, and a desktop as many pixels larger as a screen of that
  # scale has, before anything of Wine starts.
  width=$((1280 * dpi / 96)) height=$((800 * dpi / 96))
  logpixels="\"LogPixels\"=dword:$(printf %08x "$dpi")"
  sed -i -e "s/^\"Default\"=\"1280x800\"/\"Default\"=\"${width}x${height}\"/" \
    -e '/^\[Control Panel\\\\Desktop\]/a '"$logpixels" "$prefix/user.reg"
  echo "--- at $dpi dpi"
  WINEPREFIX=$prefix BRIDGE_EXPECTED_DPI=$dpi "$here/scripts/with-wine" wine "$bin/tests/dpi_tests.exe" || failed=1
  rm -rf "$prefix"
done
exit $failed
