#!/usr/bin/env bash
# Screenshots of the main window's picture canvas under Xvfb: a 12-megapixel photo at 100 %, fit and
# 200 % with markers, a hit shown at fit, a portrait photo turned upright by its EXIF orientation, and
# the markers at 125 % and 200 % scale.
#   tests/e2e/screenshot_canvas.sh [OUTPUT_DIR] [BUILD_DIR]
set -euo pipefail
out=$(realpath -m "${1:-/tmp/kovra_canvas}")
build=${2:-build}
showcase=$(realpath "$build/bin/kovra_showcase")
[ -x "$showcase" ] || { echo "build kovra_showcase first (cmake --build $build)" >&2; exit 2; }
mkdir -p "$out"
. "$(dirname "$0")/catalogue.sh"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

# A 12-megapixel shelf, areas 0..2 spread over it (one at 3500,2500 near the far corner).
phone="$root/phone"
mkdir -p "$phone/20240101000000"
img="$phone/20240101000000"
convert -size 4032x3024 xc:'#3a2c20' \
  -fill '#8b5a2b' -draw 'rectangle 0,1400 4032,1480' -draw 'rectangle 0,2900 4032,2980' \
  -fill '#b8860b' -draw 'rectangle 200,600 1200,1400' -fill '#4682b4' -draw 'rectangle 1600,900 2600,1400' \
  -fill '#111111' -draw 'rectangle 3400,2400 3900,2900' -fill '#cd5c5c' -draw 'rectangle 2000,2000 3000,2900' \
  -quality 85 "$img/photo.jpg"
write "$img/IMAGE.INI" '[ImageFile]' "Path=$img" "Filename=$img/photo.jpg" 'Title=物置の棚'
for a in '0 180 580 1040 840' '1 1580 880 1040 540' '2 3500 2500 300 200' '3 30 30 150 35'; do
  set -- $a
  write "$img/Area$1.INI" '[Area]' 'Visible=True' "Left=$2" "Top=$3" "Width=$4" "Height=$5"
done
write "$img/Area2.INI" '[Area]' 'Visible=True' 'Left=3500' 'Top=2500' 'Width=300' 'Height=200' \
  '[ItemCount]' 'Sum=1' '[Items]' 'Item0=黒い靴'

# A portrait photo stored sideways (orientation 6): the red box at the file's left is the upright top.
portrait="$root/portrait"
mkdir -p "$portrait/20240102000000"
pimg="$portrait/20240102000000"
convert -size 1600x1200 xc:'#e9e1d0' -fill '#cd5c5c' -draw 'rectangle 100,300 700,900' \
  -fill '#4682b4' -draw 'rectangle 1000,400 1400,800' -quality 85 "$pimg/portrait.jpg"
# ImageMagick writes no EXIF for -orient: the orientation tag (6) goes in an APP1 segment after the SOI.
python3 - "$pimg/portrait.jpg" <<'PY'
import struct, sys
path = sys.argv[1]
data = open(path, "rb").read()
tiff = b"MM\x00\x2a\x00\x00\x00\x08" + b"\x00\x01" + b"\x01\x12\x00\x03\x00\x00\x00\x01" + b"\x00\x06\x00\x00" + b"\x00" * 4
payload = b"Exif\x00\x00" + tiff
open(path, "wb").write(data[:2] + b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload + data[2:])
PY
write "$pimg/IMAGE.INI" '[ImageFile]' "Path=$pimg" "Filename=$pimg/portrait.jpg" 'Title=縦の写真'
write "$pimg/Area0.INI" '[Area]' 'Visible=True' 'Left=100' 'Top=300' 'Width=600' 'Height=600'
write "$pimg/Area1.INI" '[Area]' 'Visible=True' 'Left=1000' 'Top=400' 'Width=400' 'Height=400'

# The default shelf at 125 % and 200 % scale: every marker edge must show.
small="$root/small"
mkdir -p "$small/20240315093000"
shelf_image "$small/20240315093000"

shot() { # NAME FOLDER ENV... -- ARGS...
  local name=$1 folder=$2; shift 2
  local envs=()
  while [ "$1" != -- ]; do envs+=("$1"); shift; done
  shift
  xvfb-run -a -s "-screen 0 1600x1300x24" env "${envs[@]}" bash -c '
    "$0" "$@" &
    pid=$!
    id=$(xdotool search --sync --onlyvisible --name "^Kovra!\$" | head -1)
    sleep 1.5
    import -window "$id" "'"$out/$name.png"'"
    kill $pid' "$showcase" "$folder" "$@"
  echo "$out/$name.png"
}

shot phone_100 "$phone" QT_QPA_PLATFORM=xcb -- 0
shot phone_fit "$phone" QT_QPA_PLATFORM=xcb KOVRA_SHOWCASE_VIEW=fit -- 0
shot phone_200 "$phone" QT_QPA_PLATFORM=xcb KOVRA_SHOWCASE_VIEW=200 KOVRA_SHOWCASE_SCROLL=2900,1500 -- 1
shot phone_hit_fit "$phone" QT_QPA_PLATFORM=xcb KOVRA_SHOWCASE_VIEW=fit -- -1 2
shot phone_hit_100 "$phone" QT_QPA_PLATFORM=xcb -- -1 2
shot phone_fit_large "$phone" QT_QPA_PLATFORM=xcb KOVRA_SHOWCASE_VIEW=fit KOVRA_SHOWCASE_SIZE=1100x900 -- 1
shot portrait_fit "$portrait" QT_QPA_PLATFORM=xcb KOVRA_SHOWCASE_VIEW=fit -- 0
shot scale_125 "$small" QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1.25 -- 3 1 4
shot scale_150 "$small" QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1.5 -- 3 1 4
shot scale_200 "$small" QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=2 -- 3 1 4
