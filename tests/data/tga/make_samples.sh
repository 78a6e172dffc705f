#!/bin/sh
# Regenerates the TGA samples in this folder (the tests do not run it; the
# files are committed). Good samples are written by ImageMagick and Pillow
# from one synthetic picture (gradients plus deterministic noise) in every
# kind they write; kinds neither writes (16-bit pixels, long colour maps
# with 16-bit indices, a map starting past entry 0, packets that cross
# rows, right-to-left rows) and the damaged files under bad/ are built byte
# by byte with Python.
set -eu
cd "$(dirname "$0")"
IM=/usr/bin/convert
PY=/usr/bin/python3
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# The base pictures: 37 x 11 and 13 x 7, with flat stretches so that the
# run-length writers emit runs as well as literal packets.
$PY - "$TMP" <<'PYEOF'
import sys
from PIL import Image
out = sys.argv[1]
def picture(w, h, seed):
    state = seed
    data = bytearray()
    for y in range(h):
        for x in range(w):
            state = (state * 1103515245 + 12345) & 0x7FFFFFFF
            noise = (state >> 16) % 48 - 24
            r = 255 * x // (w - 1)
            g = 255 * y // (h - 1)
            b = 255 - (r + g) // 2
            if y % 3 == 1 and x < 20:
                noise, r, g, b = 0, 200, 30, 90
            data += bytes(max(0, min(255, v + noise)) for v in (r, g, b))
    return Image.frombytes("RGB", (w, h), bytes(data))
picture(37, 11, 7).save(out + "/base37.png")
picture(13, 7, 11).save(out + "/base13.png")
PYEOF
B37="$TMP/base37.png"
B13="$TMP/base13.png"
ALPHA="-alpha set -channel A -evaluate set 50% +channel"

# ImageMagick: true colour, colour-mapped and gray, uncompressed and RLE,
# bottom-left (its default) and top-left origin.
$IM "$B37" -compress none TGA:im_rgb24.tga
$IM "$B37" -compress RLE TGA:im_rgb24_rle.tga
$IM "$B13" -compress none -orient TopLeft TGA:im_rgb24_tl.tga
$IM "$B13" -compress RLE -orient TopLeft TGA:im_rgb24_rle_tl.tga
$IM "$B37" $ALPHA -compress none TGA:im_rgba32.tga
$IM "$B37" $ALPHA -compress RLE TGA:im_rgba32_rle.tga
$IM "$B37" -type Palette -compress none TGA:im_pal8.tga
$IM "$B37" -type Palette -compress RLE TGA:im_pal8_rle.tga
$IM "$B13" -colors 40 -type Palette -compress RLE -orient TopLeft TGA:im_pal8_rle_tl.tga
$IM "$B37" -colorspace Gray -type Grayscale -compress none TGA:im_gray8.tga
$IM "$B37" -colorspace Gray -type Grayscale -compress RLE TGA:im_gray8_rle.tga

# Pillow: the same kinds plus gray with alpha and 1-bit, both origins.
$PY - "$B37" "$B13" <<'PYEOF'
import sys
from PIL import Image
big = Image.open(sys.argv[1]).convert("RGB")
small = Image.open(sys.argv[2]).convert("RGB")
rgba = big.copy()
rgba.putalpha(Image.linear_gradient("L").resize(big.size))
la = big.convert("L")
la.putalpha(Image.linear_gradient("L").resize(big.size))
kinds = {
    "rgb24": big, "rgba32": rgba, "l8": big.convert("L"), "la16": la,
    "p8": big.convert("P", palette=Image.ADAPTIVE, colors=200),
}
for name, im in kinds.items():
    im.save("pil_%s.tga" % name)
    im.save("pil_%s_rle.tga" % name, compression="tga_rle")
    im.save("pil_%s_tl.tga" % name, orientation=1)
    im.save("pil_%s_rle_tl.tga" % name, compression="tga_rle", orientation=1)
big.convert("1").save("pil_1.tga")
small.convert("1").save("pil_1_13_tl.tga", orientation=1)
small.convert("P", palette=Image.ADAPTIVE, colors=16).save("pil_p8_13_rle.tga", compression="tga_rle")
PYEOF

# Built by hand.
$PY - "$B37" "$B13" <<'PYEOF'
import struct, sys
from PIL import Image

def header(image_type, w, h, depth, descriptor=0, id_bytes=b"", map_type=0, map_first=0, map_length=0, map_bits=0):
    return struct.pack("<BBBHHBHHHHBB", len(id_bytes), map_type, image_type, map_first, map_length, map_bits,
                       0, 0, w, h, depth, descriptor) + id_bytes

def rle(pixels, unit, max_run=128, crossing=True):
    # Simple packer: runs of 2 or more become run packets, the rest literal
    # packets; `pixels` is one byte string for the whole image.
    out = bytearray()
    n = len(pixels) // unit
    px = [pixels[i * unit:(i + 1) * unit] for i in range(n)]
    i = 0
    while i < n:
        j = i + 1
        while j < n and j - i < max_run and px[j] == px[i]:
            j += 1
        if j - i >= 2:
            out += bytes((0x80 | (j - i - 1),)) + px[i]
            i = j
            continue
        j = i + 1
        while j < n and j - i < max_run and (j + 1 >= n or px[j] != px[j + 1]):
            j += 1
        out += bytes((j - i - 1,)) + b"".join(px[i:j])
        i = j
    return bytes(out)

big = Image.open(sys.argv[1]).convert("RGB")
small = Image.open(sys.argv[2]).convert("RGB")

def bgr_rows(im, bottom_up=True):
    w, h = im.size
    raw = im.tobytes()
    rows = []
    for y in range(h):
        rows.append(b"".join(bytes((raw[3*(y*w+x)+2], raw[3*(y*w+x)+1], raw[3*(y*w+x)])) for x in range(w)))
    return rows[::-1] if bottom_up else rows

def to555(row):
    out = bytearray()
    for i in range(0, len(row), 3):
        b, g, r = row[i], row[i + 1], row[i + 2]
        out += struct.pack("<H", (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3) | (0x8000 if i % 2 else 0))
    return bytes(out)

w, h = big.size
# 16-bit true colour (5-5-5, the top bit set on some pixels as an
# attribute), uncompressed bottom-up with an id, and RLE top-down.
data = b"".join(to555(r) for r in bgr_rows(big))
open("py_rgb16.tga", "wb").write(header(2, w, h, 16, 1, b"sixteen bits") + data)
data = b"".join(to555(r) for r in bgr_rows(big, False))
open("py_rgb16_rle.tga", "wb").write(header(10, w, h, 16, 0x21) + rle(data, 2))

# 24-bit RLE over the whole image: packets cross row ends.
rows = bgr_rows(big)
open("py_rgb24_rle_cross.tga", "wb").write(header(10, w, h, 24) + rle(b"".join(rows), 3))
# Right-to-left rows (descriptor 0x10), bottom-up.
open("py_rgb24_rtl.tga", "wb").write(
    header(2, w, h, 24, 0x10) + b"".join(b"".join(r[3*x:3*x+3] for x in range(w - 1, -1, -1)) for r in rows))

# Colour map of 16 entries stored from entry 16 (indices 16..31), 16-bit
# (5-5-5) map entries, 8-bit indices, top-down.
q = small.quantize(16)
sw, sh = q.size
pal = q.getpalette()[:48]
cmap = b"".join(struct.pack("<H", (pal[3*i] >> 3) << 10 | (pal[3*i+1] >> 3) << 5 | (pal[3*i+2] >> 3)) for i in range(16))
idx = bytes(16 + v for v in q.tobytes())
open("py_pal8_first16.tga", "wb").write(header(1, sw, sh, 8, 0x20, map_type=1, map_first=16, map_length=16, map_bits=16) + cmap + idx)
# A 300-entry 24-bit map with 16-bit indices (read as 24-bit RGB), RLE.
cmap = b"".join(bytes(((i * 7) % 256, (i * 3) % 256, i % 256)) for i in range(300))
idx = b"".join(struct.pack("<H", (x * 11 + y * 29) % 300) for y in range(sh) for x in range(sw))
open("py_map300_idx16_rle.tga", "wb").write(header(9, sw, sh, 16, 0x20, map_type=1, map_length=300, map_bits=24) + cmap + rle(idx, 2))
# A gray image whose file carries an unused colour map.
gray = small.convert("L").tobytes()
open("py_gray8_unused_map.tga", "wb").write(header(3, sw, sh, 8, 0x20, map_type=1, map_length=4, map_bits=24) + bytes(12) + gray)

# --- damaged files ---
def patched(name, source, offset, fmt, *values):
    data = bytearray(open(source, "rb").read())
    struct.pack_into(fmt, data, offset, *values)
    open("bad/" + name, "wb").write(bytes(data))

def cut(name, source, keep):
    open("bad/" + name, "wb").write(open(source, "rb").read()[:keep])

size = lambda f: len(open(f, "rb").read())
cut("header_cut.tga", "im_rgb24.tga", 12)
cut("id_cut.tga", "py_rgb16.tga", 24)
cut("map_cut.tga", "im_pal8.tga", 18 + 100)
cut("truncated_rgb24.tga", "im_rgb24.tga", size("im_rgb24.tga") - 200)
cut("truncated_pal8_rle.tga", "im_pal8_rle.tga", size("im_pal8_rle.tga") - 40)
cut("truncated_rgb16_rle.tga", "py_rgb16_rle.tga", size("py_rgb16_rle.tga") - 9)
patched("type_32.tga", "im_rgb24.tga", 2, "<B", 32)
patched("gray_depth_24.tga", "im_rgb24.tga", 2, "<B", 3)
patched("rgb_depth_12.tga", "im_rgb24.tga", 16, "<B", 12)
patched("map_entry_12.tga", "py_pal8_first16.tga", 7, "<B", 12)
patched("mapped_without_map.tga", "im_rgb24.tga", 2, "<B", 1)
patched("zero_width.tga", "im_rgb24.tga", 12, "<H", 0)
patched("huge_size.tga", "im_rgb24.tga", 12, "<HH", 60000, 60000)
# An RLE 24-bit 4 x 2 image whose last packet (a run of 8) runs 3 pixels
# past the end, followed by bytes that must be ignored: it reads as
# 4 x 2 of the first 3 values then the run's colour.
data = bytes((2,)) + bytes((1, 2, 3, 4, 5, 6, 7, 8, 9)) + bytes((0x87, 10, 20, 30)) + b"\xff" * 20
open("bad/rle_past_end.tga", "wb").write(header(10, 4, 2, 24, 0x20) + data)
PYEOF
ls -l . bad
