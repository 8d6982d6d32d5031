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

. "$(dirname "$0")/catalogue.sh"
shelf_image "$img"
write "$root/20240316100000/IMAGE.INI" '[ImageFile]' 'Title=押入れ'

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
