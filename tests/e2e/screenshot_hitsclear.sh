#!/usr/bin/env bash
# Runs the real program under Xvfb and openbox on a big photo with a hit near the centre of the screen,
# the main window maximised: Show item at 100 %, then at fit (the small hit's icon beside its frame).
# Takes a screenshot of each and checks that the red frame at the centre is not under the search window.
#   tests/e2e/screenshot_hitsclear.sh [BIN_DIR] [OUTPUT_DIR] [PHOTO]
# BIN_DIR holds the built kovra (default build/bin); PHOTO a large JPEG (default: one made here).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
bin="${1:-$here/../../build/bin}"
outdir="${2:-/tmp}"
photo="${3:-}"
[ -x "$bin/kovra" ] || { echo "no kovra in $bin" >&2; exit 2; }

if [ -z "${KOVRA_IN_XVFB:-}" ]; then
    KOVRA_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$here/with_openbox.sh" "$0" "$bin" "$outdir" "$photo"
fi

prog="$(mktemp -d)"
pid=
trap 'if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi; rm -rf "$prog"' EXIT
cp "$bin/kovra" "$prog/"
mkdir -p "$prog/manual"

cp932() { iconv -f UTF-8 -t CP932 | sed 's/$/\r/'; }

dir="$prog/20240102090000"
mkdir -p "$dir"
if [ -n "$photo" ]; then
    cp "$photo" "$dir/photo.jpg"
else
    convert -size 4000x3000 xc:'#efe6d2' -fill '#8b5a2b' -draw 'rectangle 0,500 4000,540' \
        -draw 'rectangle 0,1500 4000,1540' -fill '#3465a4' -draw 'rectangle 600,380 700,500' "$dir/photo.jpg"
fi
printf '[ImageFile]\nPath=%s\nFilename=%s/photo.jpg\nTitle=%s\n' "$dir" "$dir" 本棚 | cp932 >"$dir/IMAGE.INI"
# Area 2 lies under the screen's centre at 100 % on a maximised window; area 0 is an ordinary marker.
printf '[Area]\nVisible=True\nLeft=560\nTop=370\nWidth=140\nHeight=90\n[ItemCount]\nSum=1\n[Items]\nItem0=%s\n' \
    USBケーブル | cp932 >"$dir/Area2.INI"
printf '[Area]\nVisible=True\nLeft=100\nTop=100\nWidth=300\nHeight=200\n[ItemCount]\nSum=1\n[Items]\nItem0=%s\n' \
    辞書 | cp932 >"$dir/Area0.INI"
printf '[Window]\nTop=600\nLeft=300\nMaximized=True\n' | cp932 >"$prog/KOVRA.INI"

"$prog/kovra" &
pid=$!

wait_window() { # name → window id
    for _ in $(seq 100); do
        if id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) && [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    echo "window '$1' did not appear" >&2
    return 1
}
click_at() { # window x y [clicks]
    xdotool mousemove --window "$1" "$2" "$3" click --repeat "${4:-1}" --delay 80 1
    sleep 0.3
}
# The frame of the search window on the screen: FX FY FW FH.
frame_of() {
    eval "$(xwininfo -id "$1" | awk '/Absolute upper-left X/ {print "FX=" $4} /Absolute upper-left Y/ {print "FY=" $4}
        /Width:/ {print "FW=" $2} /Height:/ {print "FH=" $2}')"
    FY=$((FY - 30)) # its title bar
    FH=$((FH + 30))
}

main=$(wait_window 'Kovra!')
sleep 1
click_at "$main" 188 40 # "ｱｲﾃﾑ検索"
search=$(wait_window 'アイテムの検索')
sleep 0.3
click_at "$search" 260 20 # the search box
xdotool type --delay 50 usb
xdotool key Return
sleep 1
click_at "$search" 60 54 2 # double-click the first result row: Show item
sleep 1

eval "$(xwininfo -id "$main" | awk '/Absolute upper-left X/ {print "X=" $4} /Absolute upper-left Y/ {print "Y=" $4}')"
# The picture's inside starts 10, 82 pixels into the client area (twips 120, 1200 and the sunken border).
hx=$((X + 10 + 560 + 1)) hy=$((Y + 82 + 370 + 1))
import -window root "$outdir/hitsclear_maximised.png"
frame_of "$search"
fail=0
if [ "$hx" -ge "$FX" ] && [ "$hx" -lt $((FX + FW)) ] && [ "$hy" -ge "$FY" ] && [ "$hy" -lt $((FY + FH)) ]; then
    echo "FAIL: the hit at $hx,$hy is under the search window at $FX,$FY ${FW}x$FH" >&2
    fail=1
else
    echo "ok: the hit at $hx,$hy is clear of the search window at $FX,$FY ${FW}x$FH"
fi
colour=$(convert "$outdir/hitsclear_maximised.png" -crop "1x1+$hx+$hy" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -1)
echo "colour at the hit frame's corner: $colour"

# At fit the area is smaller than the hit icon: the icon goes beside it.
xdotool windowactivate --sync "$main" key ctrl+0
sleep 0.6
xdotool windowactivate --sync "$search"
click_at "$search" 60 54 2
sleep 1
import -window root "$outdir/smallhit_fit.png"
echo "$outdir/hitsclear_maximised.png $outdir/smallhit_fit.png"
exit $fail
