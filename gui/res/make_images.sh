#!/bin/sh
# Draws the GUI's check-box and category pictures with ImageMagick into the folder $1 (build/res).
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
