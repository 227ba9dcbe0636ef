#!/usr/bin/env bash
# Draws the application icon, app/recaster.ico: an old settings sheet, an arrow and a new sheet on a
# blue tile. Four images: 16, 32 and 64 pixels in 16 colours (a transparency mask beside them) and
# 256 pixels as a PNG image with alpha. Needs ImageMagick (scripts/setup.sh --windows).
set -euo pipefail
cd "$(dirname "$0")/.."

im=$(command -v convert-im6.q16 || command -v magick || command -v convert)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The drawing, at 256 pixels.
"$im" -size 256x256 xc:none \
  -fill '#1d4f91' -draw 'roundrectangle 6,6 249,249 44,44' \
  -fill '#ffffff' -draw 'polygon 30,50 96,50 116,70 116,206 30,206' \
  -fill '#9db4d6' -draw 'polygon 96,50 116,70 96,70' \
  -fill '#1d4f91' -draw 'rectangle 46,92 100,102' -draw 'rectangle 46,122 100,132' \
                  -draw 'rectangle 46,152 88,162' -draw 'rectangle 46,182 96,192' \
  -fill '#ffffff' -draw 'roundrectangle 140,50 226,206 10,10' \
  -fill '#f2a900' -draw 'rectangle 156,88 210,100' -draw 'rectangle 156,116 200,128' \
                  -draw 'rectangle 156,144 210,156' -draw 'rectangle 156,172 190,184' \
  -fill '#f2a900' -stroke '#1d4f91' -strokewidth 6 \
  -draw 'polygon 92,112 142,112 142,90 186,128 142,166 142,144 92,144' \
  "PNG32:$work/icon-256.png"

# The small images: the drawing scaled down, alpha cut to on or off (the mask), at most 15 colours
# beside the transparent one, as raw RGBA bytes.
for size in 16 32 64; do
  "$im" "$work/icon-256.png" -filter Lanczos -resize "${size}x${size}" \
    -channel A -threshold 50% +channel -dither None -colors 15 \
    -depth 8 "RGBA:$work/icon-$size.rgba"
done

# The icon file: a 4-bit bitmap with its AND mask per small image, the PNG as it is.
python3 - "$work" app/recaster.ico <<'PY'
import struct, sys
work, out = sys.argv[1], sys.argv[2]

def bitmap_4bit(size):
    data = open(f"{work}/icon-{size}.rgba", "rb").read()
    pixels = [data[i:i + 4] for i in range(0, len(data), 4)]
    palette = []
    for p in pixels:
        if p[3] >= 128 and p[:3] not in palette:
            palette.append(p[:3])
    if len(palette) > 16:
        sys.exit(f"make-icon: {size} px image has {len(palette)} colours")
    palette += [b"\0\0\0"] * (16 - len(palette))
    index = lambda p: palette.index(p[:3]) if p[3] >= 128 else 0
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor, mask = b"", b""
    for y in reversed(range(size)):  # bottom-up rows
        row = [pixels[y * size + x] for x in range(size)]
        packed = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, p in enumerate(row):
            packed[x // 2] |= index(p) << (4 if x % 2 == 0 else 0)
            if p[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        xor += bytes(packed)
        mask += bytes(bits)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    colours = b"".join(bytes((c[2], c[1], c[0], 0)) for c in palette)
    return header + colours + xor + mask

images = [(16, bitmap_4bit(16), 16, 4), (32, bitmap_4bit(32), 16, 4), (64, bitmap_4bit(64), 16, 4),
          (256, open(f"{work}/icon-256.png", "rb").read(), 0, 32)]
directory = struct.pack("<HHH", 0, 1, len(images))
offset = 6 + 16 * len(images)
body = b""
for size, blob, colours, bpp in images:
    directory += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bpp, len(blob), offset + len(body))
    body += blob
open(out, "wb").write(directory + body)
PY
echo "make-icon: wrote app/recaster.ico"
