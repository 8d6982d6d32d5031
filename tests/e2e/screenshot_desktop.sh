#!/usr/bin/env bash
# Screenshot of the real program under openbox: the arrangement window stays above the main window after a
# click on the main window's picture.
#   tests/e2e/screenshot_desktop.sh [OUTPUT.png] [BUILD_DIR]
set -euo pipefail
out=$(realpath -m "${1:-/tmp/kovra_desktop.png}")
build=$(realpath "${2:-build}")
[ -x "$build/bin/kovra" ] || { echo "build kovra first (cmake --build $build)" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
img="$root/20240315093000"
mkdir -p "$img" "$root/manual"
. "$here/catalogue.sh"
shelf_image "$img"
cp "$build/bin/kovra" "$root/"
write "$root/KOVRA.INI" '[Window]' 'Top=600' 'Left=600'

xvfb-run -a -s "-screen 0 1024x768x24" "$here/with_openbox.sh" bash -c '
  QT_QPA_PLATFORM=xcb "$0/kovra" &
  pid=$!
  main=$(xdotool search --sync --onlyvisible --name "^Kovra!\$" | head -1)
  sleep 0.5
  xdotool mousemove --window "$main" 116 40 click 1
  xdotool search --sync --onlyvisible --name "^ｱｲﾃﾑｴﾘｱの配置\$" >/dev/null
  sleep 0.5
  xdotool mousemove --window "$main" 600 520 click 1
  sleep 1
  xprop -root _NET_CLIENT_LIST_STACKING
  import -window root "$1"
  kill $pid' "$root" "$out"
echo "$out"
