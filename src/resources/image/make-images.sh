#!/usr/bin/env bash
# Draws the program's images (the files drui.qrc lists) with ImageMagick's draw primitives.
#
#   make-images.sh               rewrite every image in this folder
#   make-images.sh --preview DIR also write contact sheets and each image on the backgrounds it is shown on
#
# It also draws the program's icon for the desktop from the logo: the hicolor theme's PNGs and a scalable
# SVG, under ../icons/hicolor (the tree cmake --install copies into <datadir>/icons).
#
# The build does not run this script: the PNGs, logo.ico and the icons are committed, so a build needs no
# ImageMagick and check-resources.py can tell when a committed file no longer matches its drawing. Run it
# after changing a drawing and commit the result. Needs the real ImageMagick 6 convert (Debian package
# imagemagick).
set -euo pipefail

CONVERT=/usr/bin/convert
MONTAGE=/usr/bin/montage
HERE=$(cd "$(dirname "$0")" && pwd)
OUT=${VISTREL_IMAGE_OUT:-$HERE}
ICONS=${VISTREL_ICON_OUT:-$HERE/../icons/hicolor}
ICON_NAME=org.vistrel.Vistrel

# The window's palette.
SLATE='rgb(69,78,93)'
SLATE_LIGHT='rgb(104,115,134)'
GREY='rgb(191,191,191)'
GREY_DARK='rgb(156,156,156)'
BAR='rgb(51,52,55)'
BLACK='rgb(28,28,28)'
WHITE='rgb(255,255,255)'
PAPER='rgb(244,245,247)'
RED='rgb(224,49,49)'
RED_DARK='rgb(150,28,28)'
RED_DELETE='rgb(196,38,38)'

# Drawings are made at SS times their size and box-averaged down: smoother edges than drawing at size, and
# the coordinates below are continuous (a 48 px image spans 0..48, so a circle at 24,24 is centred).
SS=8
XFORM="translate -0.5,-0.5 scale $SS,$SS"

# draw FILE WIDTH HEIGHT PRIMITIVES [CUTOUT]: renders PRIMITIVES on a transparent canvas; CUTOUT (optional)
# is drawn as a mask that punches transparent holes, so a glyph shows whatever lies behind the image.
# FILE is relative to OUT, or absolute.
draw() {
    local file=$1 w=$2 h=$3 prims=$4 cutout=${5:-}
    [[ $file == /* ]] || file=$OUT/$file
    local size="$((w * SS))x$((h * SS))"
    local args=(-size "$size" xc:none -draw "$XFORM $prims")
    if [ -n "$cutout" ]; then
        args+=(\( -size "$size" xc:none -draw "$XFORM fill white stroke white $cutout" \)
            -compose DstOut -composite)
    fi
    "$CONVERT" "${args[@]}" -scale "${w}x${h}!" -strip -define png:exclude-chunks=date,time \
        "PNG32:$file"
}

# ---- shared shapes (MVG text in a 48-unit box unless said otherwise) ----

# A circle given by centre and radius.
circle() { awk -v x="$1" -v y="$2" -v r="$3" 'BEGIN { printf "circle %g,%g %g,%g", x, y, x + r, y }'; }

# Scissors with the blades pointing up: blades crossing at 24,18, handle rings centred at 13.5,37 and 34.5,37.
# $1 = colour of blades and rings, $2 = colour of the pivot screw, $3 = width of the rings (default 4).
scissors() {
    cat <<EOF
stroke none fill $1
polygon 16,29 21.3,16.7 30.4,3.7 31.6,4.3 26.7,19.3 20,31
polygon 32,29 26.7,16.7 17.6,3.7 16.4,4.3 21.3,19.3 28,31
fill none stroke $1 stroke-width ${3:-4}
$(circle 13.5 37 6)
$(circle 34.5 37 6)
stroke none fill $2
$(circle 24 18 1.6)
EOF
}

# The "?" glyph for a 48 box in colour $1. Arcs and lines only: this ImageMagick strokes wide cubic curves
# with a stray wedge.
question_mark() {
    echo "fill none stroke $1 stroke-width 5.5 stroke-linecap round stroke-linejoin round
        path 'M 18,17.5 A 6,6 0 1 1 28.24,21.74 L 24,26 L 24,28.5'
        stroke none fill $1 $(circle 24 36 3.2)"
}

# ---- the images ----

# The logo: a screen with the red record dot, on its stand. One shape a line, in a 48-unit box:
#   rrect COLOUR X0 Y0 X1 Y1 RADIUS | rect COLOUR X0 Y0 X1 Y1 | circle COLOUR X Y R | poly COLOUR X,Y...
# logo_mvg draws it for the PNGs, logo_svg writes it as the scalable icon: the same shapes in both.
LOGO="
rrect $PAPER 3 5 45 35 4
rect $BLACK 6.5 8.5 41.5 31.5
circle $RED 24 20 7.5
poly $GREY 20,35 28,35 29.5,40 18.5,40
rrect $PAPER 13 39.5 35 43 1.5"

logo_mvg() {
    echo "stroke none"
    awk 'NF {
        if ($1 == "rrect") printf "fill %s roundrectangle %s,%s %s,%s %s,%s\n", $2, $3, $4, $5, $6, $7, $7
        else if ($1 == "rect") printf "fill %s rectangle %s,%s %s,%s\n", $2, $3, $4, $5, $6
        else if ($1 == "circle") printf "fill %s circle %g,%g %g,%g\n", $2, $3, $4, $3 + $5, $4
        else { printf "fill %s polygon", $2; for (i = 3; i <= NF; i++) printf " %s", $i; printf "\n" }
    }' <<<"$LOGO"
}

logo_svg() {
    echo '<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48">'
    awk 'NF {
        if ($1 == "rrect" || $1 == "rect")
            printf "  <rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\"%s fill=\"%s\"/>\n",
                $3, $4, $5 - $3, $6 - $4, ($1 == "rrect" ? sprintf(" rx=\"%g\"", $7) : ""), $2
        else if ($1 == "circle") printf "  <circle cx=\"%g\" cy=\"%g\" r=\"%g\" fill=\"%s\"/>\n", $3, $4, $5, $2
        else { printf "  <polygon points=\""; for (i = 3; i <= NF; i++) printf "%s%s", (i > 3 ? " " : ""), $i
            printf "\" fill=\"%s\"/>\n", $2 }
    }' <<<"$LOGO"
    echo '</svg>'
}

make_logo() {
    # Shown at 30x30 on the dark page headers.
    draw logo.png 48 48 "$(logo_mvg)"
}

make_icons() {
    # The desktop's icon of the program: the logo at each size of the hicolor theme, drawn at that size.
    local size
    for size in 16 24 32 48 64 128 256; do
        mkdir -p "$ICONS/${size}x${size}/apps"
        draw "$ICONS/${size}x${size}/apps/$ICON_NAME.png" "$size" "$size" \
            "scale $(awk -v s="$size" 'BEGIN { printf "%g,%g", s / 48, s / 48 }') $(logo_mvg)"
    done
    mkdir -p "$ICONS/scalable/apps"
    logo_svg >"$ICONS/scalable/apps/$ICON_NAME.svg"
}

make_rec() {
    # Record tile (128): the logo's screen, drawn in the tile's colours.
    draw rec.png 128 128 "
        stroke none fill $SLATE roundrectangle 8,14 120,94 10,10
        fill $BLACK rectangle 17,23 111,85
        fill $WHITE $(circle 64 54 22)
        fill $RED $(circle 64 54 18)
        fill $SLATE polygon 54,94 74,94 78,107 50,107
        fill $SLATE roundrectangle 34,105 94,113 4,4"
}

# A clip of film: a rounded band with sprocket holes along both edges (cut out of the band).
clip_band() { # x y w h colour
    echo "fill $5 roundrectangle $1,$2 $(($1 + $3)),$(($2 + $4)) 4,4"
}
clip_holes() { # x y w h
    local x=$(($1 + 5)) end=$(($1 + $3 - 7))
    while [ "$x" -le "$end" ]; do
        echo "rectangle $x,$(($2 + 3)) $((x + 4)),$(($2 + 7))"
        echo "rectangle $x,$(($2 + $4 - 7)) $((x + 4)),$(($2 + $4 - 3))"
        x=$((x + 9))
    done
}

make_edit() {
    # Merge tile (128): two clips above run together into one long clip below.
    draw edit.png 128 128 "
        stroke none
        $(clip_band 6 10 52 34 "$SLATE")
        $(clip_band 70 10 52 34 "$RED")
        $(clip_band 6 82 58 34 "$SLATE")
        $(clip_band 62 82 60 34 "$RED")
        fill none stroke $BAR stroke-width 6 stroke-linecap round stroke-linejoin round
        polyline 32,49 64,60 96,49
        line 64,60 64,68
        stroke none fill $BAR polygon 55,67 73,67 64,77" "
        $(clip_holes 6 10 52 34)
        $(clip_holes 70 10 52 34)
        $(clip_holes 6 82 116 34)"
}

make_cut_main() {
    # Cut tile (128): scissors coming down on a film strip, a dashed red line where it is cut.
    draw cut_main.png 128 128 "
        stroke none
        $(clip_band 6 66 116 40 "$SLATE")
        fill none stroke $RED stroke-width 4 stroke-dasharray 6,5
        line 64,62 64,110
        stroke-dasharray none
        push graphic-context
        translate 64,66 rotate 180 scale 1.5,1.5 translate -24,-4
        $(scissors "$BAR" "$GREY")
        pop graphic-context" "
        $(clip_holes 6 66 116 40)
        rectangle 12,77 58,95
        rectangle 70,77 116,95"
}

make_help() {
    # Top bar buttons: a light disc with the glyph cut out, shown at 19x19 on rgb(51,52,55).
    draw help.png 48 48 "stroke none fill $PAPER $(circle 24 24 21)" "$(question_mark white)"
}

make_about() {
    draw about.png 48 48 "stroke none fill $PAPER $(circle 24 24 21)" "
        stroke none $(circle 24 13.5 3.6)
        roundrectangle 20.8,20 27.2,37 1.5,1.5"
}

make_support() {
    # A life ring: a light ring with four red bands.
    draw support.png 48 48 "
        fill none stroke $PAPER stroke-width 10 $(circle 24 24 15)
        stroke $RED stroke-width 10
        path 'M 13.4,13.4 A 15,15 0 0 1 18.3,10.1' path 'M 29.7,10.1 A 15,15 0 0 1 34.6,13.4'
        path 'M 34.6,34.6 A 15,15 0 0 1 29.7,37.9' path 'M 18.3,37.9 A 15,15 0 0 1 13.4,34.6'"
}

make_folder() {
    draw folder.png 48 37 "
        stroke none fill $SLATE roundrectangle 2,2 20,10 2,2
        roundrectangle 2,5 46,35 3,3
        fill $SLATE_LIGHT roundrectangle 2,11 46,35 3,3"
}

make_mp4() {
    # A video file: a page with a folded corner and a play mark.
    draw mp4.png 48 48 "
        fill $PAPER stroke $SLATE stroke-width 2.5 stroke-linejoin round
        polygon 9,3.5 30,3.5 39,12.5 39,44.5 9,44.5
        fill $GREY polygon 30,3.5 30,12.5 39,12.5
        stroke none fill $RED stroke $RED stroke-width 1.5 polygon 19,20 19,36 32,28"
}

make_arrows() {
    # Merge page buttons: dark glyphs on the grey buttons. Buttons show icons at 16 px, so the glyphs
    # fill the box.
    local style="stroke $BAR stroke-width 2 stroke-linejoin round fill $BAR"
    draw add.png 48 48 "$style polygon 4,18 24,18 24,6 44,24 24,42 24,30 4,30"
    draw up.png 48 48 "$style polygon 24,4 42,24 30,24 30,44 18,44 18,24 6,24"
    draw down.png 48 48 "$style polygon 24,44 42,24 30,24 30,4 18,4 18,24 6,24"
    draw delete.png 48 48 "
        fill none stroke $RED_DELETE stroke-width 8 stroke-linecap round
        line 10,10 38,38 line 38,10 10,38"
}

make_cut() {
    # The Cut button's icon, shown at 16 px: upright scissors filling the box, with heavier rings.
    draw cut.png 48 48 "
        push graphic-context
        translate 24,24 scale 1.1,1.1 translate -24,-24.4
        $(scissors "$BAR" "$GREY" 5)
        pop graphic-context"
}

make_tray() {
    # The tray icon blinks between a red dot and a darker hollow ring; a white rim keeps both readable on
    # dark and light panels.
    draw rec1.png 48 48 "stroke none fill $WHITE $(circle 24 24 21) fill $RED $(circle 24 24 18)"
    draw rec2.png 48 48 "
        fill none stroke $WHITE stroke-width 3 $(circle 24 24 19.5)
        stroke $RED_DARK stroke-width 6 $(circle 24 24 15)"

    # Tray menu entries: a white glyph on a slate disc reads on light and dark menus alike.
    local disc="stroke none fill $SLATE $(circle 24 24 21) fill $WHITE"
    draw pause.png 48 48 "$disc roundrectangle 16.5,14.5 21.5,33.5 1,1 roundrectangle 26.5,14.5 31.5,33.5 1,1"
    draw stop.png 48 48 "$disc roundrectangle 16,16 32,32 2,2"
    draw play.png 48 48 "$disc stroke $WHITE stroke-width 2 stroke-linejoin round polygon 19,14.5 19,33.5 34.5,24"
    draw quit.png 48 48 "$disc fill none stroke $WHITE stroke-width 4 stroke-linecap round
        path 'M 18.3,15.8 A 10,10 0 1 0 29.7,15.8' line 24,11 24,23"
}

make_dialog() {
    # Close: a white cross for the dark title strips.
    draw close.png 48 48 "
        fill none stroke $WHITE stroke-width 5 stroke-linecap round
        line 14,14 34,34 line 34,14 14,34"
    # Message box icons, on the light body of the box.
    draw information.png 48 48 "
        stroke none fill $SLATE $(circle 24 24 21)
        fill $WHITE $(circle 24 13.5 3.6)
        roundrectangle 20.8,20 27.2,37 1.5,1.5"
    draw question.png 48 48 "
        stroke none fill $SLATE $(circle 24 24 21)
        $(question_mark "$WHITE")"
}

make_ico() {
    # Each size is scaled from the logo itself, so the .ico always matches logo.png.
    "$CONVERT" "$OUT/logo.png" \( -clone 0 -filter Lanczos -resize 16x16 \) \( -clone 0 -resize 32x32 \) \
        \( -clone 0 \) -delete 0 -strip "ICO:$OUT/logo.ico"
}

# ---- preview ----

# on FILE BACKGROUND SIZE: the image scaled to SIZE (as Qt shows it) on BACKGROUND, then enlarged 4x.
on() {
    "$CONVERT" -size "$3" "xc:$2" \( "$OUT/$1.png" -filter Lanczos -resize "$3" \) -gravity center -composite \
        -filter point -resize 400% "$PREVIEW/tmp-$4.png"
}

preview() {
    mkdir -p "$PREVIEW"
    local names=(logo help support about folder mp4 add up down delete cut rec1 rec2 pause stop play quit close
        information question)
    "$MONTAGE" -background 'rgb(128,128,128)' -geometry 192x192+4+4 -filter point \
        $(for n in "${names[@]}"; do echo "$OUT/$n.png"; done) "$PREVIEW/sheet-48.png"
    "$MONTAGE" -background "$GREY" -geometry 256x256+4+4 -filter point \
        "$OUT/rec.png" "$OUT/edit.png" "$OUT/cut_main.png" "$PREVIEW/sheet-tiles.png"

    local i=0
    for entry in "logo $SLATE 30x30" "logo $BAR 30x30" "logo $BLACK 30x30" \
        "help $BAR 19x19" "support $BAR 19x19" "about $BAR 19x19" \
        "folder $GREY 16x16" "folder $GREY_DARK 16x16" "mp4 $GREY 16x16" "mp4 $WHITE 16x16" "mp4 $SLATE 16x16" \
        "add $GREY 16x16" "up $GREY 16x16" "down $GREY 16x16" "delete $GREY 16x16" "cut $GREY 16x16" \
        "rec1 $BAR 22x22" "rec2 $BAR 22x22" "rec1 rgb(236,236,236) 22x22" "rec2 rgb(236,236,236) 22x22" \
        "pause rgb(246,246,246) 16x16" "stop rgb(246,246,246) 16x16" "play rgb(246,246,246) 16x16" \
        "quit rgb(246,246,246) 16x16" "quit rgb(49,54,59) 16x16" \
        "close $SLATE 16x16" "close $BLACK 16x16" "information rgb(240,240,240) 48x48" \
        "question rgb(240,240,240) 48x48"; do
        read -r n bg sz <<<"$entry"
        on "$n" "$bg" "$sz" "$(printf %02d $i)"
        i=$((i + 1))
    done
    "$MONTAGE" -background white -geometry +6+6 -gravity center "$PREVIEW"/tmp-*.png "$PREVIEW/in-use.png"
    rm -f "$PREVIEW"/tmp-*.png
    echo "preview written to $PREVIEW"
}

if [ "${1:-}" = "--preview" ]; then
    PREVIEW=${2:?usage: make-images.sh --preview DIR}
    preview
    exit 0
fi

make_logo
make_rec
make_edit
make_cut_main
make_help
make_about
make_support
make_folder
make_mp4
make_arrows
make_cut
make_tray
make_dialog
make_ico
make_icons
