# Shared by the screenshot scripts (source it): fixture catalogue files written as the program stores them.

# write FILE LINE... : the lines in code page 932 with CR LF.
write() { local f=$1; shift; printf '%s\r\n' "$@" | iconv -f UTF-8 -t CP932 >"$f"; }

# shelf_image DIR: a shelf picture (wall, three boards, boxes and books) with its IMAGE.INI and six
# areas in use, 0 to 5, over the boxes.
shelf_image() {
  local img=$1
  convert -size 620x460 xc:'#e9e1d0' \
    -fill '#8b5a2b' -draw 'rectangle 20,140 600,155' -draw 'rectangle 20,290 600,305' -draw 'rectangle 20,440 600,455' \
    -fill '#b8860b' -draw 'rectangle 40,60 180,140' -fill '#4682b4' -draw 'rectangle 200,90 300,140' \
    -fill '#a0522d' -draw 'rectangle 330,20 350,140' -draw 'rectangle 355,30 375,140' -fill '#2e8b57' -draw 'rectangle 380,25 400,140' \
    -fill '#cd5c5c' -draw 'rectangle 60,200 250,290' -fill '#708090' -draw 'rectangle 300,230 560,290' \
    -fill '#daa520' -draw 'rectangle 50,360 200,440' -fill '#556b2f' -draw 'rectangle 400,340 580,440' \
    "$img/shelf.jpg"
  write "$img/IMAGE.INI" '[ImageFile]' "Path=$img" "Filename=$img/shelf.jpg" 'Title=リビングの棚'
  local a
  for a in '0 32 52 156 96' '1 192 82 116 66' '2 322 12 88 136' '3 52 192 206 106' '4 292 222 276 76' '5 42 352 166 96'; do
    set -- $a
    write "$img/Area$1.INI" '[Area]' 'Visible=True' "Left=$2" "Top=$3" "Width=$4" "Height=$5"
  done
}
