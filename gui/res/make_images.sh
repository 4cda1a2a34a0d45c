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

# Recovery and update results, 48 x 48: success and failure.
png "$out/success_b.png" -size 48x48 xc:none -fill '#3FA34D' -draw 'circle 24,24 24,2' -fill none -stroke white \
    -strokewidth 5 -draw 'polyline 13,25 21,33 35,16'
png "$out/failure_b.png" -size 48x48 xc:none -fill '#D9453A' -draw 'circle 24,24 24,2' -stroke white \
    -strokewidth 5 -draw 'line 16,16 32,32' -draw 'line 32,16 16,32'
# The recovery window's share buttons, 32 x 32 in four states: a letter on the network's colour,
# lighter under the pointer, darker when pressed, grey when disabled.
share() {  # share NAME LETTER NORMAL HOVER ACTIVE
    for state in "normal $3" "hover $4" "active $5" "disable #B8B8B8"; do
        set -- "$1" "$2" "$3" "$4" "$5" ${state}
        png "$out/${1}_$6.png" -size 32x32 xc:none -fill "$7" -draw 'roundrectangle 0,0 31,31 6,6' -fill white \
            -font DejaVu-Sans-Bold -pointsize 20 -gravity center -annotate +0+1 "$2"
    done
}
share facebook f '#3B5998' '#5B79B8' '#2B4988'
share twitter t '#1DA1F2' '#4DB8F5' '#0D81C2'
share google g '#DB4437' '#E56A60' '#B53427'

# --- The scan page ---------------------------------------------------------------------------
# Below the category tree: the little robot standing for the phone, 120 x 130.
png "$out/androider.png" -size 120x130 xc:none -fill '#9BC53D' -stroke none \
    -draw 'ellipse 60,44 30,26 180,360' -draw 'roundrectangle 30,48 90,104 8,8' \
    -draw 'roundrectangle 16,50 26,92 5,5' -draw 'roundrectangle 94,50 104,92 5,5' \
    -draw 'roundrectangle 40,96 52,126 5,5' -draw 'roundrectangle 68,96 80,126 5,5' \
    -stroke '#9BC53D' -strokewidth 3 -draw 'line 44,22 36,10' -draw 'line 76,22 84,10' \
    -fill white -stroke none -draw 'circle 48,32 48,28' -draw 'circle 72,32 72,28'
# The scan's animation, 40 x 40: a quarter arc going round a grey ring, eight frames.
frames=$(mktemp -d "$out/scanning.XXXXXX")
i=0
while [ "$i" -lt 8 ]; do
    start=$(( i * 45 ))
    convert -size 40x40 xc:none -fill none -stroke '#D6E9F0' -strokewidth 5 -draw 'circle 20,20 20,5' \
        -stroke '#0C7DA0' -draw "arc 5,5 35,35 $start,$(( start + 90 ))" "PNG32:$frames/$i.png"
    i=$(( i + 1 ))
done
convert -delay 12 -loop 0 -dispose background "$frames"/[0-7].png -strip "$out/Scanning.gif"
rm -rf "$frames"
# Stop, 20 x 20: a grey cross in a ring.
png "$out/close.png" -size 20x20 xc:none -fill none -stroke '#8C8C8C' -strokewidth 1.5 -draw 'circle 10,10 10,1.5' \
    -strokewidth 2 -draw 'line 6.5,6.5 13.5,13.5' -draw 'line 13.5,6.5 6.5,13.5'
# The only-deleted switch, 44 x 22: on (blue, the knob right) and off (grey, the knob left).
png "$out/on.png" -size 44x22 xc:none -fill '#0C7DA0' -draw 'roundrectangle 0,0 43,21 10,10' -fill white \
    -draw 'circle 32,11 32,3'
png "$out/off.png" -size 44x22 xc:none -fill '#C4C4C4' -draw 'roundrectangle 0,0 43,21 10,10' -fill white \
    -draw 'circle 11,11 11,3'
# The search box's clear button, 16 x 16, and its search button, 28 x 22 in four states.
png "$out/delete-normal.png" -size 16x16 xc:none -fill '#BDBDBD' -draw 'circle 8,8 8,1' -stroke white \
    -strokewidth 1.5 -draw 'line 5.5,5.5 10.5,10.5' -draw 'line 10.5,5.5 5.5,10.5'
png "$out/delete-hover.png" -size 16x16 xc:none -fill '#8C8C8C' -draw 'circle 8,8 8,1' -stroke white \
    -strokewidth 1.5 -draw 'line 5.5,5.5 10.5,10.5' -draw 'line 10.5,5.5 5.5,10.5'
search() {  # search FILE BACKGROUND GLASS
    png "$out/$1" -size 28x22 xc:none -fill "$2" -stroke none -draw 'roundrectangle 0,0 27,21 2,2' -fill none \
        -stroke "$3" -strokewidth 2 -draw 'circle 12,10 12,4.5' -draw 'line 16,14 20.5,18.5'
}
search search_normal.png none '#6E6E6E'
search search_hover.png '#E4F2F7' '#0C7DA0'
search search_press.png '#C9E4EE' '#0A5F7A'
search search_disable.png none '#C4C4C4'
# --- The scan page's detail view ---------------------------------------------------------------
# The mark of a deleted row, 16 x 16: a bin in the deleted items' orange.
png "$out/trash.png" -size 16x16 xc:none -fill '#E86106' -stroke none -draw 'rectangle 3,4 12,5' \
    -draw 'rectangle 6,2 9,3' -draw 'polygon 4,6 11,6 10.5,14 4.5,14' -fill white -draw 'rectangle 6,8 6.8,12' \
    -draw 'rectangle 8.2,8 9,12'
# A picture that cannot be shown, 126 x 96: a grey frame with a mountain and the sun.
png "$out/default_img.png" -size 126x96 xc:'#EFEFEF' -fill none -stroke '#C8C8C8' -strokewidth 2 \
    -draw 'rectangle 1,1 124,94' -fill '#C8C8C8' -stroke none -draw 'polygon 20,80 50,42 70,64 84,50 106,80' \
    -draw 'circle 92,26 92,18'
# A contact without a photo, 128 x 128: head and shoulders on a light blue ground.
png "$out/icon_contacts_b.png" -size 128x128 xc:'#DCEEF8' -fill '#7FB8DC' -stroke none \
    -draw 'circle 64,48 64,22' -draw 'ellipse 64,124 46,40 180,360'
# A video in the grid, 96 x 72: a play mark on a film.
png "$out/icon_vieos_b.png" -size 96x72 xc:none -fill '#C0392B' -draw 'roundrectangle 2,2 93,69 8,8' \
    -fill white -draw 'rectangle 8,8 14,14' -draw 'rectangle 8,58 14,64' -draw 'rectangle 81,8 87,14' \
    -draw 'rectangle 81,58 87,64' -draw 'polygon 38,20 38,52 64,36'
# The parts of a message that are not texts or pictures, 48 x 48: audio, video, other.
part_icon() {  # part_icon FILE COLOUR DRAW...
    file=$1 colour=$2
    shift 2
    png "$out/$file" -size 48x48 xc:none -fill "$colour" -draw 'roundrectangle 1,1 46,46 8,8' -fill white \
        -stroke none "$@"
}
part_icon audio_icon.png '#8E44AD' -draw 'circle 16,34 16,28' -draw 'rectangle 20,10 23,34' \
    -draw 'polygon 20,10 36,15 36,20 23,16'
part_icon vedio_icon.png '#C0392B' -draw 'polygon 18,13 18,35 36,24'
part_icon other_icon.png '#5D6D7E' -draw 'polygon 14,8 28,8 35,15 35,40 14,40' -fill '#5D6D7E' \
    -draw 'rectangle 18,20 31,21' -draw 'rectangle 18,26 31,27' -draw 'rectangle 18,32 31,33'
