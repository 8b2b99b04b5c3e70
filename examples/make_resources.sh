#!/bin/sh
# Writes the resource files of examples/showcase.oxs into examples/res/:
# two small 256-colour bitmaps (8 bits per pixel, 40-byte information header)
# and a short 8-bit mono wave sound. POSIX shell and printf only.
set -eu
cd "$(dirname "$0")"
mkdir -p res

# Each argument, a value from 0 to 255, as one raw byte.
bytes() {
    for value in "$@"; do
        printf "\\$(((value >> 6) & 7))$(((value >> 3) & 7))$((value & 7))"
    done
}
le16() { bytes $(($1 & 255)) $((($1 >> 8) & 255)); }
le32() { bytes $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255)); }

# bmp_head WIDTH HEIGHT COLOURS: the file header and the information header
# of an uncompressed 8-bit bitmap whose colour table has COLOURS entries.
# WIDTH must be a multiple of 4, so that rows need no padding.
bmp_head() {
    pixels=$(($1 * $2))
    table=$(($3 * 4))
    printf 'BM'
    le32 $((14 + 40 + table + pixels))  # file size
    le32 0                               # reserved
    le32 $((14 + 40 + table))            # offset of the pixels
    le32 40                              # information header size
    le32 "$1"
    le32 "$2"                            # positive: rows stored bottom-up
    le16 1                               # planes
    le16 8                               # bits per pixel
    le32 0                               # no compression
    le32 "$pixels"
    le32 2835                            # 72 dots per inch
    le32 2835
    le32 "$3"                            # colours used
    le32 0                               # colours important: all
}

# colour RED GREEN BLUE: one colour-table entry.
colour() { bytes "$3" "$2" "$1" 0; }

# logo.bmp, 16x16: a dark blue ring with a white face and a yellow diagonal;
# the corners use colour 0, the transparent colour of the #bitmap directive.
write_logo() {
    bmp_head 16 16 4
    colour 255 0 255    # 0: transparent
    colour 16 32 96     # 1: dark blue
    colour 255 255 255  # 2: white
    colour 240 200 0    # 3: yellow
    y=0
    while [ $y -lt 16 ]; do
        x=0
        while [ $x -lt 16 ]; do
            dx=$((2 * x - 15)) dy=$((2 * y - 15))
            distance=$((dx * dx + dy * dy))
            if [ $distance -gt 256 ]; then bytes 0
            elif [ $distance -gt 160 ]; then bytes 1
            elif [ $x -eq $y ]; then bytes 3
            else bytes 2
            fi
            x=$((x + 1))
        done
        y=$((y + 1))
    done
}

# icons.bmp, 24x8: three 8x8 icons side by side, a filled square, a
# chequer board and a frame. Dark blue is shared with the logo's palette.
write_icons() {
    bmp_head 24 8 3
    colour 255 0 255    # 0: transparent
    colour 16 32 96     # 1: dark blue
    colour 200 40 40    # 2: red
    y=0
    while [ $y -lt 8 ]; do
        x=0
        while [ $x -lt 24 ]; do
            icon=$((x / 8)) u=$((x % 8))
            case $icon in
                0) bytes 2 ;;
                1) bytes $((((u + y) % 2) + 1)) ;;
                *) if [ $u -eq 0 ] || [ $u -eq 7 ] || [ $y -eq 0 ] || [ $y -eq 7 ]; then bytes 1; else bytes 0; fi ;;
            esac
            x=$((x + 1))
        done
        y=$((y + 1))
    done
}

# click.wav: 800 samples at 8000 Hz (a tenth of a second) of a 400 Hz
# square wave that fades out; 8-bit samples are unsigned around 128.
write_click() {
    samples=800
    printf 'RIFF'
    le32 $((4 + 8 + 16 + 8 + samples))
    printf 'WAVE'
    printf 'fmt '
    le32 16
    le16 1       # PCM
    le16 1       # mono
    le32 8000    # samples per second
    le32 8000    # bytes per second
    le16 1       # bytes per sample frame
    le16 8       # bits per sample
    printf 'data'
    le32 $samples
    i=0
    while [ $i -lt $samples ]; do
        amplitude=$((96 * (samples - i) / samples))
        if [ $(((i / 10) % 2)) -eq 0 ]; then bytes $((128 + amplitude)); else bytes $((128 - amplitude)); fi
        i=$((i + 1))
    done
}

write_logo > res/logo.bmp
write_icons > res/icons.bmp
write_click > res/click.wav
