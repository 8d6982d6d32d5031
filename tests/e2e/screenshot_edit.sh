#!/usr/bin/env bash
# Screenshot of the area arrangement and item registration windows beside the main window on a
# fixture catalogue, taken under Xvfb.
#   tests/e2e/screenshot_edit.sh [OUTPUT.png] [BUILD_DIR]
set -euo pipefail
out=${1:-/tmp/kovra_edit.png}
build=${2:-build}
showcase="$build/bin/kovra_showcase_edit"
[ -x "$showcase" ] || { echo "build kovra_showcase_edit first (cmake --build $build)" >&2; exit 2; }
out=$(realpath -m "$out")

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
img="$root/20240315093000"
mkdir -p "$img" "$root/manual"

. "$(dirname "$0")/catalogue.sh"
shelf_image "$img"
printf '%s\r\n' '[ItemCount]' 'Sum=4' '[Items]' 'Item0=延長コード' 'Item1=ガムテープ' 'Item2=懐中電灯' 'Item3=ﾄﾞﾗｲﾊﾞｰｾｯﾄ' |
  iconv -f UTF-8 -t CP932 >>"$img/Area3.INI"
# The main window at the top-left corner of the screen (position in twips).
write "$root/KOVRA.INI" '[Window]' 'Top=0' 'Left=0'

# No window manager: the windows stand where the program puts them, without frames.
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  "$0" "$1" 3 &
  pid=$!
  xdotool search --sync --onlyvisible --name "^ｱｲﾃﾑ登録\$" >/dev/null
  sleep 1
  import -window root -crop 1220x600+0+0 +repage "$2"
  kill $pid' "$showcase" "$root" "$out"
echo "$out"
