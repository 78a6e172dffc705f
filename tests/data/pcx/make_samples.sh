#!/bin/sh
# Regenerates the PCX samples in this folder and the DCX samples in ../dcx
# (the tests do not run it; the files are committed). Good samples are
# written by ImageMagick and Pillow from one synthetic picture (gradients
# plus deterministic noise); kinds that neither writes (2 and 4 bits on one
# plane, 1-bit planar colour, the gray palette-info flag, runs that cross
# lines, a DCX list without its terminator) and the damaged files under
# bad/ are built byte by byte with Python from the published PCX layout.
set -eu
cd "$(dirname "$0")"
IM=/usr/bin/convert
PY=/usr/bin/python3
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# The base pictures: 37 x 11 and 13 x 7 (odd widths).
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

# ImageMagick.
$IM "$B37" im_rgb24.pcx
$IM "$B13" im_rgb24_13.pcx
$IM "$B37" $ALPHA im_rgba.pcx
$IM "$B37" -type Palette im_pal8.pcx
$IM "$B13" -colors 16 -type Palette im_pal16_13.pcx
# Gray and two-colour pictures are written as 24-bit unless marked sRGB.
$IM "$B37" -colorspace Gray -type Palette -set colorspace sRGB im_gray8.pcx
$IM "$B37" -monochrome -set colorspace sRGB im_pal1.pcx
$IM "$B13" -colors 2 -type Palette im_pal8_2colors_13.pcx
# DCX: three pages of three kinds; two palette pages with different palettes.
$IM "$B37" \( "$B13" -type Palette \) \( "$B37" -monochrome \) ../dcx/im_multipage.dcx
$IM \( "$B13" -colors 20 -type Palette \) \( "$B37" -negate -colors 50 -type Palette \) ../dcx/im_pal8_pages.dcx

# Pillow.
$PY - "$B37" "$B13" <<'PYEOF'
import sys
from PIL import Image
big = Image.open(sys.argv[1]).convert("RGB")
small = Image.open(sys.argv[2]).convert("RGB")
big.save("pil_rgb24.pcx")
small.save("pil_rgb24_13.pcx")
big.convert("L").save("pil_l8.pcx")
big.convert("P", palette=Image.ADAPTIVE, colors=200).save("pil_p8.pcx")
big.convert("1").save("pil_1.pcx")
small.convert("1").save("pil_1_13.pcx")
PYEOF

# Built by hand.
$PY - "$B37" "$B13" <<'PYEOF'
import struct, sys
from PIL import Image

def header(w, h, bits, planes, bpl, version=5, cmap=b"", palette_info=1, origin=(0, 0)):
    x0, y0 = origin
    cmap = (cmap + bytes(48))[:48]
    return (bytes((10, version, 1, bits)) + struct.pack("<HHHHHH", x0, y0, x0 + w - 1, y0 + h - 1, 72, 72)
            + cmap + bytes((0, planes)) + struct.pack("<HH", bpl, palette_info) + bytes(58))

def rle(data):
    # Runs of up to 63 equal bytes; a lone byte below 0xC0 stands for itself.
    out = bytearray()
    i = 0
    while i < len(data):
        v = data[i]
        n = 1
        while n < 63 and i + n < len(data) and data[i + n] == v:
            n += 1
        if n > 1 or v >= 0xC0:
            out += bytes((0xC0 | n, v))
        else:
            out.append(v)
        i += n
    return bytes(out)

def pack(indices, bits, bpl):
    out = bytearray(bpl)
    per = 8 // bits
    for x, v in enumerate(indices):
        out[x // per] |= v << (8 - bits * (x % per + 1))
    return bytes(out)

def palette_image(src, colors):
    im = src.quantize(colors)
    pal = (im.getpalette() + [0] * 768)[:colors * 3]
    return im, bytes(pal)

small = Image.open(sys.argv[2]).convert("RGB")
big = Image.open(sys.argv[1]).convert("RGB")

# 2 bits and 4 bits per pixel on one plane, palette in the header; bytes
# per line padded to even, and a non-zero origin for the 4-bit file.
for bits, src, name, origin in ((2, small, "py_pal2_13.pcx", (0, 0)), (4, big, "py_pal16.pcx", (3, 5))):
    im, pal = palette_image(src, 1 << bits)
    w, h = im.size
    bpl = (w * bits + 7) // 8
    bpl += bpl % 2
    px = im.load()
    lines = b"".join(rle(pack([px[x, y] for x in range(w)], bits, bpl)) for y in range(h))
    open(name, "wb").write(header(w, h, bits, 1, bpl, cmap=pal, origin=origin) + lines)

# 1 bit with two colours other than black and white in the header map.
im = small.convert("1")
w, h = im.size
bpl = (w + 7) // 8
data = b"".join(rle(im.tobytes()[y * bpl:(y + 1) * bpl]) for y in range(h))
open("py_pal1_colors_13.pcx", "wb").write(header(w, h, 1, 1, bpl, cmap=bytes((200, 30, 40, 10, 220, 90))) + data)

# 16 colours as four 1-bit planes (plane p holds bit p of the index).
im, pal = palette_image(big, 16)
w, h = im.size
bpl = (w + 7) // 8 + 1
px = im.load()
data = b""
for y in range(h):
    row = [px[x, y] for x in range(w)]
    data += rle(b"".join(pack([(v >> p) & 1 for v in row], 1, bpl) for p in range(4)))
open("py_planar16.pcx", "wb").write(header(w, h, 1, 4, bpl, cmap=pal) + data)

# 8-bit gray marked by palette info 2, with a gray trailing palette.
gray = big.convert("L")
w, h = gray.size
data = b"".join(rle(gray.tobytes()[y * w:(y + 1) * w]) for y in range(h))
ramp = bytes(v for i in range(256) for v in (i, i, i))
open("py_gray8_info2.pcx", "wb").write(header(w, h, 8, 1, w, palette_info=2) + data + b"\x0c" + ramp)

# 8-bit palette file whose runs cross line ends: the whole picture encoded
# as one stream, so runs carry from one line into the next.
im, pal = palette_image(small, 4)
w, h = im.size
stream = bytearray(im.tobytes())
data = rle(bytes(stream))
open("py_runs_across_lines_13.pcx", "wb").write(
    header(w, h, 8, 1, w) + data + b"\x0c" + (pal + bytes(768))[:768])

# DCX whose page list has no terminator: the single 24-bit page starts right
# after one offset, so the list runs on into the page's own header bytes.
page = open("im_rgb24_13.pcx", "rb").read()
open("../dcx/py_no_terminator.dcx", "wb").write(struct.pack("<II", 0x3ADE68B1, 8) + page)

# --- damaged files (pcx/bad and dcx/bad) ---
# 3 x 2, 24 bits: the second line stops after 5 of its 9 bytes.
open("bad/short_line.pcx", "wb").write(header(3, 2, 8, 3, 3) + bytes(range(1, 10)) + bytes(range(1, 6)))
# The same, with a count byte as the very last byte.
open("bad/count_at_end.pcx", "wb").write(header(3, 2, 8, 3, 3) + bytes(range(1, 10)) + bytes((1, 2, 0xC5)))
# A run of 63 on a 1 x 1, 8-bit file: one pixel, 62 left over; the file
# then lacks a palette.
open("bad/no_vga_palette.pcx", "wb").write(header(1, 1, 8, 1, 1) + bytes((0xFF, 7)))
open("bad/bpl_below_width.pcx", "wb").write(header(10, 2, 8, 1, 4) + bytes((0xC8, 1)) * 2)
open("bad/bpl_below_width_mono.pcx", "wb").write(header(20, 2, 1, 1, 2) + bytes((0xC4, 1)) * 2)
# xmax 3 below xmin 5: width -1.
h = bytearray(header(1, 3, 8, 3, 4, origin=(5, 0)))
struct.pack_into("<H", h, 8, 3)
open("bad/xmax_below_xmin.pcx", "wb").write(bytes(h) + bytes((0xCC, 0)) * 3)
open("bad/two_planes_8bit.pcx", "wb").write(header(4, 4, 8, 2, 4) + bytes((0xC8, 0)) * 4)
open("bad/bits_16.pcx", "wb").write(header(4, 4, 16, 1, 8) + bytes((0xC8, 0)) * 4)
open("bad/huge.pcx", "wb").write(header(30000, 65536, 8, 3, 30000) + bytes((0xFF, 0)) * 16)
# A large image with a few bytes of data: the first line already falls short.
open("bad/tiny_data.pcx", "wb").write(header(1000, 1000, 8, 3, 1000) + bytes((0xFF, 1)) * 20)
open("bad/header_cut.pcx", "wb").write(header(3, 2, 8, 3, 3)[:100])
open("bad/not_pcx.pcx", "wb").write(b"\x0b" + header(3, 2, 8, 3, 3)[1:] + bytes(18))
open("../dcx/bad/not_dcx.dcx", "wb").write(open("im_rgb24_13.pcx", "rb").read())
open("../dcx/bad/empty_list.dcx", "wb").write(struct.pack("<II", 0x3ADE68B1, 0) + page)
open("../dcx/bad/magic_only.dcx", "wb").write(struct.pack("<I", 0x3ADE68B1))
open("../dcx/bad/offset_past_end.dcx", "wb").write(struct.pack("<III", 0x3ADE68B1, 100000, 0) + page)
PYEOF
