#!/bin/sh
# Renders orva-setup.svg at the nine sizes of the program's icon and packs the
# images, each kept as the PNG it is, into orva-setup.ico. The
# .ico is committed, so building needs neither tool; run this after changing
# the drawing. Needs rsvg-convert (librsvg2-bin), optipng and icotool
# (icoutils). optipng recompresses each image losslessly and keeps it 8-bit
# RGBA: the same pixels in fewer bytes of the executable.
set -eu
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
set --
for size in 16 20 24 32 40 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --format png \
        --output "$work/orva-$size.png" orva-setup.svg
    optipng -quiet -o7 -nc -nb -np -strip all "$work/orva-$size.png"
    set -- "$@" "--raw=$work/orva-$size.png"
done
icotool --create --output orva-setup.ico "$@"
icotool --list orva-setup.ico
