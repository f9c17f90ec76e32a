#!/usr/bin/env bash
# Makes the installer's images (committed in installer/res/) from nothing but ImageMagick and the
# DejaVu fonts: the 374x59 banner bitmap and the icon with its 32x32 and 16x16 forms.
# usage: tools/art/make_images.sh   (rewrites installer/res/, velmar/res/ and mdi/res/)
set -euo pipefail
res=$(cd "$(dirname "$0")/../../installer/res" && pwd)
convert -size 374x59 gradient:'#1c3f7a'-'#3f7fd0' -fill white -font DejaVu-Sans-Bold -pointsize 26 \
        -gravity west -annotate +18+0 'Kovira Local Installer' -type truecolor "BMP3:$res/banner.bmp"
convert -size 32x32 xc:none -fill '#1c3f7a' -draw 'roundrectangle 1,1 30,30 6,6' \
        -fill white -font DejaVu-Sans-Bold -pointsize 22 -gravity center -annotate +0+0 'K' \
        \( +clone -resize 16x16 \) "$res/installer.ico"

# The controls' 16x15 toolbox bitmaps (bitmap resource 101 of each control DLL).
velmar_res=$(cd "$(dirname "$0")/../../velmar/res" && pwd)
convert -size 16x15 xc:'#c0c0c0' -fill '#1c3f7a' -draw 'rectangle 1,1 14,13' \
        -fill white -draw 'polygon 4,4 8,11 12,4 10,4 8,8 6,4' -type truecolor \
        "BMP3:$velmar_res/toolbox.bmp"

# MDI.dll: its toolbox bitmap (three stacked windows) and the views' icon, resource 201.
mdi_res=$(cd "$(dirname "$0")/../../mdi/res" && pwd)
convert -size 16x15 xc:'#c0c0c0' -fill white -stroke '#1c3f7a' \
        -draw 'rectangle 1,1 9,7' -draw 'rectangle 4,4 12,10' -draw 'rectangle 7,7 14,13' \
        -type truecolor "BMP3:$mdi_res/toolbox.bmp"
convert -size 32x32 xc:none -fill white -stroke '#1c3f7a' -strokewidth 2 \
        -draw 'rectangle 2,3 29,28' -fill '#1c3f7a' -draw 'rectangle 2,3 29,9' \
        \( +clone -resize 16x16 \) "$mdi_res/view.ico"
