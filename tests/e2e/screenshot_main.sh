#!/usr/bin/env bash
# Screenshot of the main window on a fixture catalogue, with area markers, the selection handle and
# hit marks, taken under Xvfb; with a third argument also the version window.
#   tests/e2e/screenshot_main.sh [OUTPUT.png] [BUILD_DIR] [ABOUT_OUTPUT.png]
set -euo pipefail
out=${1:-/tmp/kovra_main.png}
build=${2:-build}
showcase="$build/bin/kovra_showcase"
[ -x "$showcase" ] || { echo "build kovra_showcase first (cmake --build $build)" >&2; exit 2; }
out=$(realpath -m "$out")
about=${3:+$(realpath -m "$3")}

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
img="$root/20240315093000"
mkdir -p "$img" "$root/manual" "$root/20240316100000"

# A shelf: wall, three boards, boxes and books.
convert -size 620x460 xc:'#e9e1d0' \
  -fill '#8b5a2b' -draw 'rectangle 20,140 600,155' -draw 'rectangle 20,290 600,305' -draw 'rectangle 20,440 600,455' \
  -fill '#b8860b' -draw 'rectangle 40,60 180,140' -fill '#4682b4' -draw 'rectangle 200,90 300,140' \
  -fill '#a0522d' -draw 'rectangle 330,20 350,140' -draw 'rectangle 355,30 375,140' -fill '#2e8b57' -draw 'rectangle 380,25 400,140' \
  -fill '#cd5c5c' -draw 'rectangle 60,200 250,290' -fill '#708090' -draw 'rectangle 300,230 560,290' \
  -fill '#daa520' -draw 'rectangle 50,360 200,440' -fill '#556b2f' -draw 'rectangle 400,340 580,440' \
  "$img/shelf.jpg"

# Bytes in code page 932 with CR LF, as the program stores them.
write() { local f=$1; shift; printf '%s\r\n' "$@" | iconv -f UTF-8 -t CP932 >"$f"; }
write "$img/IMAGE.INI" '[ImageFile]' "Path=$img" "Filename=$img/shelf.jpg" 'Title=リビングの棚'
write "$root/20240316100000/IMAGE.INI" '[ImageFile]' 'Title=押入れ'
area() { write "$img/Area$1.INI" '[Area]' 'Visible=True' "Left=$2" "Top=$3" "Width=$4" "Height=$5"; }
area 0 32 52 156 96
area 1 192 82 116 66
area 2 322 12 88 136
area 3 52 192 206 106
area 4 292 222 276 76
area 5 42 352 166 96

# Each window is captured alone (no window manager: no frame around it).
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  "$0" "$1" 3 1 4 &
  pid=$!
  id=$(xdotool search --sync --onlyvisible --name "^Kovra!\$" | head -1)
  sleep 1
  import -window "$id" "$2"
  kill $pid
  if [ -n "$3" ]; then
    "$0" "$1" about &
    pid=$!
    id=$(xdotool search --sync --onlyvisible --name "^ﾊﾞｰｼﾞｮﾝ情報\$" | head -1)
    sleep 1
    import -window "$id" "$3"
    kill $pid
  fi' "$showcase" "$root" "$out" "$about"
echo "$out" ${about:+"$about"}
