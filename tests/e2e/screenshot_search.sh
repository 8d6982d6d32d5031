#!/usr/bin/env bash
# Runs the real program under Xvfb on a small fixture catalogue, searches for "usb" in the search window,
# double-clicks the first result and takes a screenshot of the screen with the main window showing the hit.
#   tests/e2e/screenshot_search.sh [BIN_DIR] [OUTPUT.png]
# BIN_DIR holds the built kovra (default build/bin). The picture is not kept in the repository.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
bin="${1:-$here/../../build/bin}"
out="${2:-/tmp/kovra_search.png}"
[ -x "$bin/kovra" ] || { echo "no kovra in $bin" >&2; exit 2; }

if [ -z "${KOVRA_IN_XVFB:-}" ]; then
    KOVRA_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$bin" "$out"
fi

prog="$(mktemp -d)"
pid=
trap 'if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi; rm -rf "$prog"' EXIT
cp "$bin/kovra" "$prog/"
mkdir -p "$prog/manual"

# INI text as the program stores it: code page 932 with CR LF.
cp932() { iconv -f UTF-8 -t CP932 | sed 's/$/\r/'; }

image() { # folder title picture-args...
    local dir="$prog/$1" title="$2"
    shift 2
    mkdir -p "$dir"
    convert -size 640x480 "$@" "BMP3:$dir/photo.bmp"
    printf '[ImageFile]\nPath=%s\nFilename=%s/photo.bmp\nTitle=%s\n' "$dir" "$dir" "$title" | cp932 >"$dir/IMAGE.INI"
}

area() { # folder index left top width height items...
    local dir="$prog/$1" i="$2" l="$3" t="$4" w="$5" h="$6"
    shift 6
    {
        printf '[Area]\nVisible=True\nLeft=%s\nTop=%s\nWidth=%s\nHeight=%s\n' "$l" "$t" "$w" "$h"
        printf '[ItemCount]\nSum=%s\n[Items]\n' "$#"
        local k=0
        for item in "$@"; do
            printf 'Item%s=%s\n' "$k" "$item"
            k=$((k + 1))
        done
    } | cp932 >"$dir/Area$i.INI"
}

# A desk without a hit comes first, so that showing the hit visibly switches the image.
image 20240101090000 机 xc:'#c9b89a' -fill '#7a5533' -draw 'rectangle 60,300 580,330'
area 20240101090000 0 60 300 520 30 ノート 鉛筆

# A bookshelf: four shelves; the hits lie on the second shelf (area 2) and the bottom one (area 5).
image 20240102090000 本棚 xc:'#efe6d2' -fill '#8b5a2b' \
    -draw 'rectangle 40,20 600,40' -draw 'rectangle 40,130 600,150' -draw 'rectangle 40,240 600,260' \
    -draw 'rectangle 40,350 600,370' -draw 'rectangle 40,460 600,478' \
    -fill '#3465a4' -draw 'rectangle 70,60 110,128' -fill '#cc0000' -draw 'rectangle 120,70 150,128' \
    -fill '#4e9a06' -draw 'rectangle 300,170 360,238' -fill '#f57900' -draw 'rectangle 420,390 520,458'
area 20240102090000 0 50 45 250 85 辞書 アルバム
area 20240102090000 1 320 45 270 85 ノート
area 20240102090000 2 280 155 300 85 USBケーブル ﾎﾞｰﾙﾍﾟﾝ
area 20240102090000 5 400 375 180 85 usbメモリ 電池

image 20240103090000 押し入れ xc:'#ddd5c5' -fill '#a08060' -draw 'rectangle 0,240 640,260'
area 20240103090000 1 20 270 300 200 ＵＳＢハブ

# The main window at a fixed place (twips), so the search window's centre does not cover the hit.
printf '[Window]\nTop=600\nLeft=300\n' | cp932 >"$prog/KOVRA.INI"

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

main=$(wait_window 'Kovra!')
sleep 0.5
click_at "$main" 188 40 # "ｱｲﾃﾑ検索"
search=$(wait_window 'アイテムの検索')
sleep 0.3
click_at "$search" 260 20 # the search box
xdotool type --delay 50 usb
xdotool key Return # the default button "検索開始"
sleep 0.5
click_at "$search" 60 54 2 # double-click the first result row
sleep 0.6                  # let the hit icons wave a frame or two
# Move the search window aside so the whole main window shows.
xdotool windowmove "$search" 700 640
sleep 0.4

# The screenshot must show the shelf with red frames on the hit areas 2 and 5, none on area 0. A loaded
# machine may paint late: the screen is taken again, for up to 10 s, until it shows them. (The
# search window must stay where it was moved, however late its placement timers come.)
# The client area's corner on the screen (xdotool's geometry is off by the frame under a window manager).
eval "$(xwininfo -id "$main" | awk '/Absolute upper-left X/ {print "X=" $4} /Absolute upper-left Y/ {print "Y=" $4}')"
px() { # x y inside the main window's picture → #RRGGBB
    convert "$out" -crop "1x1+$((X + 10 + $1))+$((Y + 82 + $2))" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -1
}
check() { # what x y colour...: a line "ok: what" or "FAIL: what ..." each
    while [ $# -gt 0 ]; do
        local got
        got=$(px "$2" "$3")
        if [ "$got" = "$4" ]; then echo "ok: $1"; else echo "FAIL: $1 is $got, not $4"; fi
        shift 4
    done
}
expected=("frame of area 2" 280 197 '#FF0000' "frame of area 5" 400 417 '#FF0000'
    "marker of area 0, no frame" 50 87 '#000000' "the shelf's green book" 330 200 '#4E9A06')
for _ in $(seq 20); do
    import -window root "$out"
    report=$(check "${expected[@]}")
    grep -q FAIL <<<"$report" || break
    sleep 0.5
done
echo "$report"
fail=0
if grep -q FAIL <<<"$report"; then
    grep FAIL <<<"$report" >&2
    fail=1
fi
echo "$out"
exit $fail
