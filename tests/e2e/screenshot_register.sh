#!/usr/bin/env bash
# Screenshot of the image registration window beside the main window, with a picture file dropped (the
# main window previews it) and a name typed in, taken under Xvfb.
#   tests/e2e/screenshot_register.sh [OUTPUT.png] [BUILD_DIR]
set -euo pipefail
out=${1:-/tmp/kovra_register.png}
build=${2:-build}
showcase="$build/bin/kovra_showcase_register"
[ -x "$showcase" ] || { echo "build kovra_showcase_register first (cmake --build $build)" >&2; exit 2; }
out=$(realpath -m "$out")

root=$(mktemp -d)
photos=$(mktemp -d) # outside the program folder, where the user's photos are
trap 'rm -rf "$root" "$photos"' EXIT
mkdir -p "$root/manual" "$root/20240315093000" "$root/20240316100000"

. "$(dirname "$0")/catalogue.sh"
write "$root/20240315093000/IMAGE.INI" '[ImageFile]' 'Title=リビングの棚'
write "$root/20240316100000/IMAGE.INI" '[ImageFile]' 'Title=押入れ'
write "$root/KOVRA.INI" '[Window]' 'Top=0' 'Left=0'

# The photo about to be registered: a closet with an upper and a lower shelf, boxes and a futon.
convert -size 620x460 xc:'#f1ead8' \
  -fill '#9c7a4f' -draw 'rectangle 0,210 620,228' -draw 'rectangle 0,440 620,460' \
  -fill '#e8e8f0' -draw 'roundrectangle 30,70 330,208 18,18' -fill '#c0504d' -draw 'rectangle 360,110 470,208' \
  -fill '#4f81bd' -draw 'rectangle 480,140 590,208' -fill '#d9c08c' -draw 'rectangle 40,320 220,438' \
  -draw 'rectangle 240,340 400,438' -fill '#7f7f7f' -draw 'rectangle 430,300 590,438' \
  "$photos/closet.jpg"

# No window manager: the windows stand where the program puts them, without frames.
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  "$0" "$1" "$2" 押入れの上段 &
  pid=$!
  xdotool search --sync --onlyvisible --name "^イメージの登録\$" >/dev/null
  sleep 1
  import -window root -crop 1220x600+0+0 +repage "$3"
  kill $pid' "$showcase" "$root" "$photos/closet.jpg" "$out"
echo "$out"
