#!/usr/bin/env bash
# Makes the default skin folder: copies the manifest and the configuration text from SRC to
# OUT and draws every picture there with ImageMagick (no fonts needed: the launcher draws
# the texts itself). Usage: make-skin.sh SRC OUT
set -euo pipefail
src=$1 out=$2
mkdir -p "$out/main" "$out/settings"
cp "$src/skin.ini" "$src/config.txt" "$out/"
cd "$out"

KEY=magenta  # outside the window outline (the manifest says "outline = corner")

# A window background: a shape (rounded body, optional crest) filled with a vertical gradient,
# a gold edge along the shape, the key colour outside. Args: file w h shape-draw extra-options...
background() {
  local file=$1 w=$2 h=$3 shape=$4; shift 4
  convert -size "${w}x${h}" xc:black +antialias -fill white -draw "$shape" "$file.mask.png"
  convert "$file.mask.png" -morphology EdgeIn Diamond:2 -colorspace sRGB -type TrueColor \
    -fill '#c9a227' -opaque white -transparent black "PNG32:$file.edge.png"
  convert -size "${w}x${h}" gradient:'#24355f-#0a0f1f' "$file.mask.png" \
    -alpha off -compose CopyOpacity -composite -background "$KEY" -alpha remove -alpha off \
    "$file.edge.png" -compose Over -composite \
    +antialias -fill none -stroke '#6b5a1e' -strokewidth 1 "$@" \
    -type TrueColor "BMP3:$file"
  rm -f "$file.mask.png" "$file.edge.png"
}

# A button picture: gradient face, frame, top highlight and a white icon.
# Args: file w h top bottom frame icon-draw [dx]
button() {
  local file=$1 w=$2 h=$3 c1=$4 c2=$5 frame=$6 icon=$7 dx=${8:-0}
  convert -size "${w}x${h}" "gradient:${c1}-${c2}" \
    -fill none -stroke "$frame" -strokewidth 1 -draw "rectangle 0,0 $((w - 1)),$((h - 1))" \
    -stroke 'rgba(255,255,255,0.35)' -draw "line 1,1 $((w - 2)),1" \
    -stroke none -fill 'rgba(255,255,255,0.92)' -draw "translate $dx,$dx $icon" \
    "${@:9}" "BMP3:$file"
}

# All five pictures of one button. Args: name w h normal-top normal-bottom icon [palette]
button_set() {
  local name=$1 w=$2 h=$3 top=$4 bottom=$5 icon=$6 type=${7:-TrueColor}
  button "main/${name}.bmp"          "$w" "$h" "$top" "$bottom" '#c9a227' "$icon" 0 -type "$type"
  button "main/${name}_over.bmp"     "$w" "$h" "$top" "$bottom" '#ffe27a' "$icon" 0 -modulate 125 -type "$type"
  button "main/${name}_disabled.bmp" "$w" "$h" '#5c5c5c' '#333333' '#777777' "$icon" 0 -type "$type"
  button "main/${name}_down.bmp"     "$w" "$h" "$bottom" "$top" '#c9a227' "$icon" 1 -modulate 85 -type "$type"
  button "main/${name}_up.bmp"       "$w" "$h" "$top" "$bottom" '#ffffff' "$icon" 0 -modulate 110 -type "$type"
}

background main/background.bmp 720 480 \
  "roundrectangle 1,25 718,478 28,28 roundrectangle 250,1 470,64 18,18" \
  -fill '#060a14' -draw 'rectangle 24,84 695,343' \
  -fill none -draw 'line 24,352 695,352' -draw 'line 24,470 695,470'

# The settings window is a 520 x 360 form placed 60 pixels up and left of the main window's
# centre: its shape sits right and low in it, so that it appears centred over the main window.
background settings/background.bmp 520 360 "roundrectangle 141,61 498,358 22,22" \
  -fill '#0a1226' -draw 'rectangle 290,110 480,290' -fill none -draw 'line 160,100 480,100'

button_set start 150 46 '#46b457' '#1d5e27' 'polygon 18,11 18,35 38,23 rectangle 52,21 132,25'
button_set cancel 72 28 '#b44a46' '#5e1f1d' 'rectangle 29,7 43,21'
button_set checkall 72 28 '#3a5ba0' '#1f3566' 'stroke white stroke-width 3 fill none polyline 26,13 33,20 46,7'
button_set close 22 22 '#3a5ba0' '#1f3566' 'polygon 5,7 7,5 17,15 15,17 polygon 15,5 17,7 7,17 5,15' Palette
button_set minimize 22 22 '#3a5ba0' '#1f3566' 'rectangle 5,14 16,16' Palette
button_set config 22 22 '#3a5ba0' '#1f3566' 'circle 11,11 11,4 fill #2a4680 circle 11,11 11,8' Palette

# Gauge textures: a gold striped fill over a dark groove.
convert -size 500x8 gradient:'#ffe27a-#b87800' \
  -fill 'rgba(255,255,255,0.25)' -draw 'path "M 0,8 L 4,0 L 8,0 L 4,8 Z"' \
  \( +clone -crop 12x8+0+0 +repage -write mpr:tile +delete \) -size 500x8 tile:mpr:tile \
  -compose Overlay -composite -type TrueColor BMP3:main/gauge_fore.bmp
convert -size 500x8 xc:'#0a0f1e' -fill none -stroke '#2a3a66' -draw 'rectangle 0,0 499,7' \
  -type TrueColor BMP3:main/gauge_back.bmp
