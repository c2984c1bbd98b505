#!/bin/sh
# Renders the artwork in svg/ to the PNGs in res/ that the program compiles in
# as Qt resources (":/res/res/<name>.png"). The PNGs are kept in the tree, so a
# build never needs this script; run it again after editing an SVG.
# Needs rsvg-convert (Debian: librsvg2-bin) and the DejaVu fonts (fonts-dejavu-core)
# for the letters on the file-type icons.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
src="$here/svg"
out="$here/res"

command -v rsvg-convert >/dev/null 2>&1 || {
    echo "make_png.sh: rsvg-convert not found (apt-get install librsvg2-bin)" >&2
    exit 1
}

mkdir -p "$out"

# render <svg name> <png name> <size>
render() {
    rsvg-convert --width "$3" --height "$3" --keep-aspect-ratio \
        --output "$out/$2.png" "$src/$1.svg"
    echo "res/$2.png ($3 x $3)"
}

render logomenu logomenu 64
render logomenu logobig 141
render help help 32
render folder_search folder_search 32
render options options 32
render load_download load_download 32
render message message 32
render common_file_ext common_file_ext 32
for kind in DOC XLS PPT TXT PDF; do
    render "$kind File Extension" "$kind File Extension" 32
done

# The desktop entry's application icon is the same mark as the window icon.
cp "$src/logomenu.svg" "$here/miravel.svg"
echo "res/miravel.svg"
