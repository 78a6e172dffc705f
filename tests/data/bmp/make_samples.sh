#!/bin/sh
# Regenerates the BMP samples in this folder (the tests do not run it; the
# files are committed). Good samples are written by ImageMagick and Pillow
# from one synthetic picture (gradients plus deterministic noise); a few
# kinds that neither writes (RLE4, top-down rows) and the damaged files
# under bad/ are built byte by byte with Python.
set -eu
cd "$(dirname "$0")"
IM=/usr/bin/convert
PY=/usr/bin/python3
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# The base pictures: 37 x 11 and 13 x 7 (odd widths exercise row padding).
$PY - "$TMP" <<'PYEOF'
import sys
from PIL import Image
sys.path.insert(0, "..")
from sample_pictures import picture
out = sys.argv[1]
picture(37, 11, 7).save(out + "/base37.png")
picture(13, 7, 11).save(out + "/base13.png")
PYEOF
B37="$TMP/base37.png"
B13="$TMP/base13.png"
ALPHA="-alpha set -channel A -evaluate set 50% +channel"

# ImageMagick: 124-byte (default), 40-byte (BMP3:) and OS/2 1.x (BMP2:) headers.
$IM "$B37" im_rgb24_v5.bmp
$IM "$B37" BMP3:im_rgb24_v3.bmp
$IM "$B13" BMP2:im_rgb24_os2.bmp
$IM "$B37" -type Palette -compress none BMP3:im_pal8_v3.bmp
$IM "$B37" -type Palette BMP3:im_pal8_rle8.bmp
$IM "$B13" -colors 40 -type Palette BMP3:im_pal8_rle8_13.bmp
$IM "$B37" -type Palette BMP2:im_pal8_os2.bmp
$IM "$B37" -colorspace Gray -type Palette -compress none BMP3:im_gray8_v3.bmp
$IM "$B37" -colors 16 -compress none BMP3:im_pal4_v3.bmp
$IM "$B13" -colors 16 BMP2:im_pal4_os2.bmp
$IM "$B37" -colors 2 -type Palette BMP3:im_pal1_v3.bmp
$IM "$B13" -monochrome BMP2:im_pal1_os2.bmp
$IM "$B37" -define bmp:subtype=RGB565 im_rgb16_565.bmp
$IM "$B37" -define bmp:subtype=RGB555 im_rgb16_555.bmp
$IM "$B13" $ALPHA -define bmp:subtype=ARGB4444 im_argb16_4444.bmp
$IM "$B13" $ALPHA -define bmp:subtype=ARGB1555 im_argb16_1555.bmp
$IM "$B37" $ALPHA im_rgba32_v5.bmp

# Pillow: 40-byte headers, uncompressed.
$PY - "$B37" "$B13" <<'PYEOF'
import sys
from PIL import Image
big = Image.open(sys.argv[1]).convert("RGB")
small = Image.open(sys.argv[2]).convert("RGB")
big.save("pil_rgb24.bmp")
small.save("pil_rgb24_13.bmp")
big.convert("L").save("pil_l8.bmp")
big.convert("P", palette=Image.ADAPTIVE, colors=200).save("pil_p8.bmp")
small.convert("1").save("pil_1_13.bmp")
big.convert("1").save("pil_1.bmp")
rgba = big.copy()
rgba.putalpha(Image.linear_gradient("L").resize(big.size))
rgba.save("pil_rgba32.bmp")
PYEOF

# Built by hand: RLE4 (no common writer makes it), top-down rows, a 32-bit
# BGRX file with a V3 (56-byte) header, and the damaged files.
$PY - "$B37" "$B13" <<'PYEOF'
import struct, sys
from PIL import Image

def file_header(size, offset):
    return b"BM" + struct.pack("<IHHI", size, 0, 0, offset)

def info_header(size, w, h, bits, compression, image_size=0, ppm=2835, used=0):
    return struct.pack("<IiiHHIIiiII", size, w, h, 1, bits, compression, image_size, ppm, ppm, used, 0)

def stride(w, bits):
    return ((w * bits + 31) // 32) * 4

def bmp(info, table, pixels):
    offset = 14 + len(info) + len(table)
    return file_header(offset + len(pixels), offset) + info + table + pixels

# RLE4: 16-colour picture, rows encoded with runs, odd and even absolute
# runs, a delta and end-of-line codes.
small = Image.open(sys.argv[2]).convert("RGB").quantize(16)
w, h = small.size
pal = small.getpalette()[:48]
table = b"".join(bytes((pal[3*i+2], pal[3*i+1], pal[3*i], 0)) for i in range(16))
px = small.load()
data = bytearray()
for y in range(h - 1, -1, -1):
    row = [px[x, y] for x in range(w)]
    if y == 3:
        # Two-pixel encoded run, delta right by 3, then a 5-pixel absolute run.
        data += bytes((2, (row[0] << 4) | row[1]))
        data += bytes((0, 2, 3, 0))
        rest = row[5:10]
        nib = rest + [0]
        packed = bytes((nib[i] << 4) | nib[i+1] for i in range(0, 6, 2))
        data += bytes((0, 5)) + packed + b"\0"  # 3 bytes: one pad byte
        data += bytes((0, 0))
        continue
    x = 0
    while x < w:
        n = min(4, w - x)
        if n >= 3:
            chunk = row[x:x+n] + [0] * (n % 2)
            packed = bytes((chunk[i] << 4) | chunk[i+1] for i in range(0, len(chunk), 2))
            data += bytes((0, n)) + packed + (b"\0" if len(packed) % 2 else b"")
        else:
            for p in row[x:x+n]:
                data += bytes((1, p << 4))
        x += n
    data += bytes((0, 0))
data += bytes((0, 1))
open("py_pal4_rle4.bmp", "wb").write(
    bmp(info_header(40, w, h, 4, 2, len(data), used=16), table, bytes(data)))

# Top-down 24-bit rows (negative height).
big = Image.open(sys.argv[1]).convert("RGB")
w, h = big.size
s = stride(w, 24)
raw = big.tobytes()
pixels = bytearray()
for y in range(h):
    row = bytearray()
    for x in range(w):
        r, g, b = raw[3*(y*w+x):3*(y*w+x)+3]
        row += bytes((b, g, r))
    pixels += row + b"\0" * (s - len(row))
open("py_rgb24_topdown.bmp", "wb").write(bmp(info_header(40, w, -h, 24, 0, len(pixels)), b"", bytes(pixels)))

# 32-bit bit fields in a 56-byte header: blue in the top byte, then green,
# red, and a constant unused low byte.
pixels = bytearray()
for y in range(h - 1, -1, -1):
    for x in range(w):
        r, g, b = raw[3*(y*w+x):3*(y*w+x)+3]
        pixels += struct.pack("<I", (b << 24) | (g << 16) | (r << 8) | 0x5A)
info = info_header(56, w, h, 32, 3, len(pixels)) + struct.pack("<IIII", 0x0000FF00, 0x00FF0000, 0xFF000000, 0)
open("py_rgb32_v3_fields.bmp", "wb").write(bmp(info, b"", bytes(pixels)))

# --- damaged files ---
def cut(name, source, keep):
    open("bad/" + name, "wb").write(open(source, "rb").read()[:keep])

def patched(name, source, offset, fmt, *values):
    data = bytearray(open(source, "rb").read())
    struct.pack_into(fmt, data, offset, *values)
    open("bad/" + name, "wb").write(bytes(data))

size = lambda f: len(open(f, "rb").read())
cut("truncated_rgb24.bmp", "im_rgb24_v3.bmp", size("im_rgb24_v3.bmp") - 200)
cut("truncated_pal8.bmp", "im_pal8_v3.bmp", size("im_pal8_v3.bmp") - 60)
cut("truncated_pal4.bmp", "im_pal4_v3.bmp", size("im_pal4_v3.bmp") - 30)
cut("truncated_pal1_os2.bmp", "im_pal1_os2.bmp", size("im_pal1_os2.bmp") - 9)
cut("truncated_rgb24_os2.bmp", "im_rgb24_os2.bmp", size("im_rgb24_os2.bmp") - 50)
cut("truncated_rgb16.bmp", "im_rgb16_565.bmp", size("im_rgb16_565.bmp") - 100)
cut("truncated_rgb32.bmp", "pil_rgba32.bmp", size("pil_rgba32.bmp") - 5)
cut("table_past_end.bmp", "im_pal8_v3.bmp", 14 + 40 + 100 * 4)
cut("header_cut.bmp", "im_rgb24_v3.bmp", 30)
# The same picture behind an OS/2 2.x (64-byte) header, cut short.
data = open("im_rgb24_v3.bmp", "rb").read()
os2v2 = struct.pack("<I", 64) + data[18:54] + bytes(24) + data[54:]
open("bad/truncated_rgb24_os2v2.bmp", "wb").write((file_header(14 + len(os2v2), 78) + os2v2)[:-300])
patched("offset_past_end.bmp", "im_rgb24_v3.bmp", 10, "<I", 100000)
patched("huge_size.bmp", "im_rgb24_v3.bmp", 18, "<ii", 100000, 100000)
patched("zero_width.bmp", "im_rgb24_v3.bmp", 18, "<i", 0)
patched("negative_width.bmp", "im_rgb24_v3.bmp", 18, "<i", -37)
patched("zero_height.bmp", "im_rgb24_v3.bmp", 22, "<i", 0)
patched("bit_count_7.bmp", "im_rgb24_v3.bmp", 28, "<H", 7)
patched("jpeg_payload.bmp", "im_rgb24_v3.bmp", 30, "<I", 4)
patched("rle8_in_24bit.bmp", "im_rgb24_v3.bmp", 30, "<I", 1)
patched("header_size_20.bmp", "im_rgb24_v3.bmp", 14, "<I", 20)
patched("not_bm.bmp", "im_rgb24_v3.bmp", 0, "<H", 0x4142)

# Hostile RLE8 on a 5 x 3 image: an over-long run, an absolute run past the
# row end, a delta far beyond the last row, then bytes that must be ignored.
table = b"".join(bytes((i, i, i, 0)) for i in range(256))
data = bytes((255, 7)) + bytes((0, 0)) + bytes((0, 9)) + bytes(range(1, 10)) + b"\0" \
     + bytes((0, 2, 255, 255)) + bytes((200, 3)) * 4
open("bad/rle8_hostile.bmp", "wb").write(bmp(info_header(40, 5, 3, 8, 1, len(data), used=256), table, data))
# RLE8 ending inside an absolute run on the second row.
data = bytes((5, 4, 0, 0, 0, 5, 1, 2))
open("bad/rle8_cut.bmp", "wb").write(bmp(info_header(40, 5, 3, 8, 1, len(data), used=256), table, data))
PYEOF
ls -l . bad
