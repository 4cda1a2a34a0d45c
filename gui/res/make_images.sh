#!/bin/sh
# Draws the GUI's pictures with ImageMagick into the folder $1 (build/res): check boxes, category
# icons, title-bar and menu buttons, message-box icons, logos, the splash and the window icon.
set -eu
out=$1
mkdir -p "$out"
# No time stamps in the files: the same drawing gives the same bytes.
png() {  # png OUTPUT ARGS...
    target=$1
    shift
    convert "$@" -strip -define png:exclude-chunks=date,time "PNG32:$target"
}

# Check boxes, 16 x 16: empty, half (a filled square), ticked.
check() {  # check FILE DRAW...
    file=$1
    shift
    png "$out/$file" -size 16x16 xc:none -fill white -stroke '#6E6E6E' -strokewidth 1 \
        -draw 'rectangle 1,1 14,14' "$@"
}
check Unselected.png
check HalfSelected.png -fill '#0AA2D2' -stroke none -draw 'rectangle 4,4 11,11'
check Selected.png -fill none -stroke '#0AA2D2' -strokewidth 2 -draw 'polyline 3.5,8 6.5,11.5 12.5,4'

# Category icons, 24 x 24, one colour each.
icon() {  # icon FILE COLOUR DRAW...
    file=$1 colour=$2
    shift 2
    png "$out/$file" -size 24x24 xc:none -fill "$colour" -stroke "$colour" "$@"
}
# The device: a phone with its screen.
icon icon_tesk.png '#4A4A4A' -draw 'roundrectangle 6,1 17,22 2,2' -fill white -stroke none -draw 'rectangle 8,4 15,17'
# Contacts: a head and shoulders.
icon icon_contacts.png '#2E8BC0' -draw 'circle 12,8 12,3' -draw 'ellipse 12,22 8,7 180,360'
# Messages: a speech bubble.
icon icon_messaging.png '#3FA34D' -draw 'roundrectangle 2,3 21,16 4,4' -draw 'polygon 6,15 6,21 12,15'
# Gallery: a framed picture with a mountain and the sun.
icon icon_gallery.png '#E8A317' -fill none -strokewidth 2 -draw 'rectangle 2,4 21,19' -fill '#E8A317' \
    -strokewidth 1 -draw 'polygon 3,18 9,10 14,15 17,12 20,18' -draw 'circle 16,8 16,6'
# Videos: a play mark on a film.
icon icon_videos.png '#C0392B' -draw 'roundrectangle 1,4 22,19 3,3' -fill white -stroke none -draw 'polygon 9,8 9,16 16,12'
# Audio: a note.
icon icon_music.png '#8E44AD' -draw 'circle 7,18 7,14' -draw 'rectangle 10,3 12,18' -draw 'polygon 10,3 20,6 20,9 12,6'
# Documents: a page with lines.
icon icon_documents.png '#5D6D7E' -fill white -draw 'polygon 5,1 15,1 20,6 20,22 5,22' -stroke '#5D6D7E' \
    -draw 'line 8,9 17,9' -draw 'line 8,13 17,13' -draw 'line 8,17 17,17'

# Title-bar buttons, 28 x 24, in four states: white marks on the blue bar; a lighter square under
# the pointer, a darker one when pressed, grey marks when disabled. Close turns red.
button() {  # button NAME DRAW...
    name=$1
    shift
    png "$out/${name}_normal.png" -size 28x24 xc:none -fill none -stroke white -strokewidth 2 "$@"
    png "$out/${name}_hover.png" -size 28x24 xc:none -fill 'rgba(255,255,255,0.25)' -stroke none \
        -draw 'rectangle 0,0 27,23' -fill none -stroke white -strokewidth 2 "$@"
    png "$out/${name}_press.png" -size 28x24 xc:none -fill 'rgba(0,0,0,0.25)' -stroke none \
        -draw 'rectangle 0,0 27,23' -fill none -stroke white -strokewidth 2 "$@"
    png "$out/${name}_disable.png" -size 28x24 xc:none -fill none -stroke '#7FC4DE' -strokewidth 2 "$@"
}
button minimize -draw 'line 9,16 19,16'
button maximize -draw 'rectangle 9,7 19,16'
button maximize_restore -draw 'rectangle 8,10 16,17' -draw 'polyline 11,10 11,6 20,6 20,13 16,13'
button close -draw 'line 9,7 19,17' -draw 'line 19,7 9,17'
png "$out/close_hover.png" -size 28x24 xc:none -fill '#E0453A' -stroke none -draw 'rectangle 0,0 27,23' \
    -fill none -stroke white -strokewidth 2 -draw 'line 9,7 19,17' -draw 'line 19,7 9,17'
# The main menu's button: three bars.
more() {  # more FILE BACKGROUND STROKE
    png "$out/$1" -size 28x24 xc:none -fill "$2" -stroke none -draw 'rectangle 0,0 27,23' \
        -fill none -stroke "$3" -strokewidth 2 -draw 'line 8,7 20,7' -draw 'line 8,12 20,12' -draw 'line 8,17 20,17'
}
more more.png none white
more more_hover.png 'rgba(255,255,255,0.25)' white
more more_click.png 'rgba(0,0,0,0.25)' white
more more_disable.png none '#7FC4DE'

# Menu icons, 16 x 16.
menu_icon() {  # menu_icon FILE COLOUR DRAW...
    file=$1 colour=$2
    shift 2
    png "$out/$file" -size 16x16 xc:none -fill none -stroke "$colour" -strokewidth 1.5 "$@"
}
menu_icon Language_normal.png '#2E8BC0' -draw 'circle 8,8 8,1.5' -draw 'ellipse 8,8 3,6.5 0,360' \
    -draw 'line 1.5,8 14.5,8'
menu_icon help.png '#2E8BC0' -draw 'circle 8,8 8,1.5' -fill '#2E8BC0' -stroke none -font DejaVu-Sans-Bold \
    -pointsize 10 -gravity center -annotate +0+0 '?'
menu_icon check_upgrade_normal.png '#3FA34D' -draw 'polyline 3,8 8,3 13,8' -draw 'line 8,3 8,14'
menu_icon icon_zaixiankefu.png '#E8A317' -draw 'roundrectangle 1.5,2.5 14.5,11.5 3,3' \
    -draw 'polyline 4,11.5 4,14.5 8,11.5'
menu_icon about.png '#2E8BC0' -draw 'circle 8,8 8,1.5' -fill '#2E8BC0' -stroke none -draw 'rectangle 7,7 9,12' \
    -draw 'rectangle 7,4 9,5.5'

# Message-box icons, 48 x 48: failed, warning, success, information.
png "$out/tip_failed.png" -size 48x48 xc:none -fill '#D9453A' -draw 'circle 24,24 24,3' -stroke white \
    -strokewidth 5 -draw 'line 16,16 32,32' -draw 'line 32,16 16,32'
png "$out/tip_warnning.png" -size 48x48 xc:none -fill '#F0A020' -draw 'polygon 24,3 46,44 2,44' -fill white \
    -draw 'rectangle 22,16 26,32' -draw 'rectangle 22,36 26,40'
png "$out/tip_suc.png" -size 48x48 xc:none -fill '#3FA34D' -draw 'circle 24,24 24,3' -fill none -stroke white \
    -strokewidth 5 -draw 'polyline 13,25 21,33 35,16'
png "$out/tip_info.png" -size 48x48 xc:none -fill '#0AA2D2' -draw 'circle 24,24 24,3' -fill white \
    -draw 'rectangle 21,20 27,37' -draw 'circle 24,13 24,10'

# The product's mark: a phone with a turning arrow, white on the title bar.
png "$out/title_logo.png" -size 20x20 xc:none -fill none -stroke white -strokewidth 1.5 \
    -draw 'roundrectangle 5,1.5 14,18.5 2,2' -draw 'arc 6,6 13,13 200,520' -fill white -stroke none \
    -draw 'polygon 6,8 9,8 7,11'
# The dialogs' logo strip: the mark and the name.
png "$out/pop_wnd_logo.png" -size 200x40 xc:none -fill none -stroke '#0A8FC0' -strokewidth 2 \
    -draw 'roundrectangle 8,4 28,36 4,4' -draw 'arc 11,13 25,27 200,520' -fill '#0A8FC0' -stroke none \
    -font DejaVu-Sans-Bold -pointsize 20 -annotate +38+27 'Relikorda'
# The window icon.
convert -size 32x32 xc:none -fill '#0AA2D2' -draw 'roundrectangle 0,0 31,31 6,6' -fill none -stroke white \
    -strokewidth 2 -draw 'roundrectangle 9,4 22,27 2,2' -draw 'arc 11,10 20,19 200,520' "ICO:$out/Relikorda.ico"

# The splash, 520 x 360: a dark blue ground, the logo (slides down to y 55) and the text (up to y 290).
png "$out/statr-bg.png" -size 520x360 gradient:'#0B5F86-#052A40'
splash_logo() {  # splash_logo FILE TAG
    png "$out/$1" -size 320x110 xc:none -fill none -stroke white -strokewidth 4 \
        -draw 'roundrectangle 10,10 60,100 8,8' -draw 'arc 18,32 52,66 230,500' -fill white -stroke none \
        -draw 'polygon 14,42 26,42 19,54' \
        -font DejaVu-Sans-Bold -pointsize 44 -annotate +78+68 'Relikorda' \
        -fill '#9FE0F5' -font DejaVu-Sans -pointsize 18 -annotate +80+96 "$2"
}
splash_logo statr-logo.png 'for Android'
splash_logo statr-logo-cn.png 'Android CN'
splash_text() {  # splash_text FILE TEXT
    png "$out/$1" -size 460x40 xc:none -fill '#D8F1FA' -font DejaVu-Sans -pointsize 15 -gravity center \
        -annotate +0+0 "$2"
}
splash_text statr-text.png 'Contacts, messages and photos, back from your phone'
splash_text statr-text-cn.png 'Relikorda Android CN'

# --- The connection page ---------------------------------------------------------------------
# The guide, 400 x 420, four frames: the phone joined to the computer by its cable, a pulse
# running along the cable and the phone's screen filling step by step. The "-cn" frames are the
# same pictures in the Chinese edition's colours.
guide_frame() {  # guide_frame FILE FRAME ACCENT
    file=$1 frame=$2 accent=$3
    dot=$(( 60 + frame * 50 ))
    bars=""
    i=1
    while [ "$i" -le "$frame" ]; do
        top=$(( 180 + i * 22 ))
        bars="$bars rectangle 60,$top 120,$(( top + 12 ))"
        i=$(( i + 1 ))
    done
    png "$out/$file" -size 400x420 xc:none \
        -fill '#EEF8FB' -stroke '#5D6D7E' -strokewidth 3 -draw 'roundrectangle 190,40 390,180 8,8' \
        -fill '#5D6D7E' -stroke none -draw 'rectangle 270,180 310,215' -draw 'roundrectangle 235,213 345,225 4,4' \
        -fill none -stroke "$accent" -strokewidth 5 -draw 'line 90,330 90,380' -draw 'line 90,380 290,380' \
        -draw 'line 290,380 290,226' \
        -fill '#4A4A4A' -stroke none -draw 'roundrectangle 40,150 140,330 12,12' \
        -fill '#DDF3F8' -draw 'rectangle 50,172 130,305' -fill '#7A7A7A' -draw 'circle 90,318 90,313' \
        -fill "$accent" -draw "circle $dot,380 $dot,371" \
        ${bars:+-draw "$bars"} \
        -fill "$accent" -font DejaVu-Sans-Bold -pointsize 22 -annotate +238+120 'USB' \
        -draw 'polygon 226,104 226,136 210,120'
}
for frame in 1 2 3 4; do
    guide_frame "dh$frame.png" "$frame" '#2CC1D2'
    guide_frame "dh$frame-cn.png" "$frame" '#E8A317'
done
png "$out/dh_text.png" -size 400x50 xc:none -fill '#0A8FC0' -font DejaVu-Sans -pointsize 19 -gravity center \
    -annotate +0+0 'Connect the phone, then press Start'
# The tick of an option that succeeded, 16 x 16.
png "$out/ok.png" -size 16x16 xc:none -fill '#3FA34D' -draw 'circle 8,8 8,1' -fill none -stroke white \
    -strokewidth 2 -draw 'polyline 4.5,8.5 7,11 11.5,5.5'
# The waiting tip's picture: the phone's question, with the button to tap lit.
allow_picture() {  # allow_picture FILE QUESTION ANSWER
    png "$out/$1" -size 170x96 xc:none -fill white -stroke '#9A9A9A' -strokewidth 1 \
        -draw 'roundrectangle 1,1 168,94 6,6' -fill '#202020' -stroke none -font DejaVu-Sans -pointsize 12 \
        -annotate +10+24 "$2" -fill '#DDDDDD' -draw 'roundrectangle 10,56 80,84 4,4' \
        -fill '#2CC1D2' -draw 'roundrectangle 88,56 158,84 4,4' -fill '#404040' -annotate +24+75 'Deny' \
        -fill white -font DejaVu-Sans-Bold -annotate +103+75 "$3"
}
allow_picture allow.png 'Allow this computer?' 'Allow'
allow_picture allow_cn.png 'Allow this PC? (CN)' 'OK'
# The warning tip's sign, 32 x 32.
png "$out/icon_warning.png" -size 32x32 xc:none -fill '#F07A20' -draw 'polygon 16,2 31,29 1,29' -fill white \
    -draw 'rectangle 14,10 18,21' -draw 'rectangle 14,23 18,26'
