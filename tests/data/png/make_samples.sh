#!/bin/sh
# Regenerates the PNG samples in this folder (the tests do not run it; the
# files are committed). Good samples are written by ImageMagick and Pillow
# from one synthetic picture (gradients plus deterministic noise) in every
# colour type, depth and interlace they produce; bKGD chunks (which neither
# writes on request) are added with Python, and the damaged files under bad/
# are built byte by byte with Python.
set -eu
cd "$(dirname "$0")"
IM=/usr/bin/convert
PY=/usr/bin/python3
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# The base pictures: 37 x 11 and 13 x 7 (odd widths exercise row packing).
$PY - "$TMP" <<'PYEOF'
import sys
from PIL import Image
sys.path.insert(0, "..")
from sample_pictures import picture
out = sys.argv[1]
picture(37, 11, 7).save(out + "/base37.png")
picture(13, 7, 11).save(out + "/base13.png")
alpha = picture(37, 11, 7)
alpha.putalpha(Image.linear_gradient("L").resize((37, 11)))
alpha.save(out + "/alpha37.png")
PYEOF
B37="$TMP/base37.png"
B13="$TMP/base13.png"
A37="$TMP/alpha37.png"
# No time stamps (reproducible files); no gAMA/cHRM, so composition is plain.
NOCH="-define png:exclude-chunks=date,time,gAMA,cHRM,sRGB"

# ImageMagick: every colour type and depth, interlaced (Adam7) and not.
for il in none png; do
  s=$([ $il = none ] && echo "" || echo "_i")
  $IM "$B37" -colorspace Gray -threshold 50% -interlace $il $NOCH -define png:color-type=0 -define png:bit-depth=1 im_gray1$s.png
  $IM "$B37" -colorspace Gray -depth 2 -interlace $il $NOCH -define png:color-type=0 -define png:bit-depth=2 im_gray2$s.png
  $IM "$B37" -colorspace Gray -depth 4 -interlace $il $NOCH -define png:color-type=0 -define png:bit-depth=4 im_gray4$s.png
  $IM "$B37" -colorspace Gray -interlace $il $NOCH -define png:color-type=0 -define png:bit-depth=8 im_gray8$s.png
  $IM "$B37" -colorspace Gray -depth 16 -evaluate multiply 1.001 -interlace $il $NOCH -define png:color-type=0 -define png:bit-depth=16 im_gray16$s.png
  $IM "$A37" -colorspace Gray -interlace $il $NOCH -define png:color-type=4 -define png:bit-depth=8 im_graya8$s.png
  $IM "$A37" -colorspace Gray -depth 16 -interlace $il $NOCH -define png:color-type=4 -define png:bit-depth=16 im_graya16$s.png
  $IM "$B37" -interlace $il $NOCH -define png:color-type=2 -define png:bit-depth=8 im_rgb8$s.png
  $IM "$B37" -depth 16 -evaluate multiply 1.001 -interlace $il $NOCH -define png:color-type=2 -define png:bit-depth=16 im_rgb16$s.png
  $IM "$A37" -interlace $il $NOCH -define png:color-type=6 -define png:bit-depth=8 im_rgba8$s.png
  $IM "$A37" -depth 16 -interlace $il $NOCH -define png:color-type=6 -define png:bit-depth=16 im_rgba16$s.png
  # ImageMagick keeps a palette slot for its bKGD colour, so 2, 4 and 16
  # colours give 2-, 4- and 8-bit palettes (it refuses to force a depth).
  $IM "$B37" -colors 2 -interlace $il $NOCH im_pal2_c2$s.png
  $IM "$B37" -colors 4 -interlace $il $NOCH im_pal4_c4$s.png
  $IM "$B37" -colors 16 -interlace $il $NOCH im_pal8_c16$s.png
  $IM "$B37" -colors 200 -interlace $il $NOCH -define png:color-type=3 -define png:bit-depth=8 im_pal8$s.png
done
# Palette with transparency (tRNS), as ImageMagick's PNG8 writes it.
$IM "$A37" -channel A -threshold 50% +channel $NOCH PNG8:im_pal8_trns.png
# ImageMagick's own defaults (gAMA, cHRM, bKGD where it writes them) on an opaque picture.
$IM "$B13" -define png:exclude-chunks=date,time im_rgb8_default.png

# Pillow: its modes and palette depths, with and without tRNS.
$PY - "$B37" "$B13" "$A37" <<'PYEOF'
import sys
from PIL import Image
big = Image.open(sys.argv[1]).convert("RGB")
small = Image.open(sys.argv[2]).convert("RGB")
alpha = Image.open(sys.argv[3]).convert("RGBA")
big.save("pil_rgb8.png")
small.save("pil_rgb8_13.png")
big.convert("L").save("pil_gray8.png")
big.convert("1").save("pil_gray1.png")
import struct
levels = big.convert("L").getdata()
# Low bytes that differ from the high ones, so a reader must pick the right byte.
raw = b"".join(struct.pack("<H", (v * 257) ^ (i * 37 & 0xFF)) for i, v in enumerate(levels))
Image.frombytes("I;16", big.size, raw).save("pil_gray16.png")
alpha.save("pil_rgba8.png")
alpha.convert("LA").save("pil_graya8.png")
for bits, colors in ((1, 2), (2, 4), (4, 16), (8, 256)):
    p = big.convert("P", palette=Image.ADAPTIVE, colors=colors)
    p.save("pil_pal%d.png" % bits, bits=bits)
    # One entry fully transparent, one half transparent.
    p.save("pil_pal%d_trns.png" % bits, bits=bits, transparency=bytes([0, 128][:colors]))
big.save("pil_rgb8_trns.png", transparency=big.getpixel((3, 4)))
big.convert("L").save("pil_gray8_trns.png", transparency=big.convert("L").getpixel((3, 4)))
PYEOF

# Background chunks added by hand to Pillow's files (before IDAT).
$PY - <<'PYEOF'
import struct, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
def add_bkgd(src, dst, payload):
    b = open(src, "rb").read()
    at = b.index(b"IDAT") - 4
    open(dst, "wb").write(b[:at] + chunk(b"bKGD", payload) + b[at:])
add_bkgd("pil_rgba8.png", "pil_rgba8_bkgd.png", struct.pack(">HHH", 200, 30, 90))
add_bkgd("pil_graya8.png", "pil_graya8_bkgd.png", struct.pack(">H", 180))
add_bkgd("pil_pal8_trns.png", "pil_pal8_trns_bkgd.png", bytes([5]))
add_bkgd("pil_rgb8_trns.png", "pil_rgb8_trns_bkgd.png", struct.pack(">HHH", 10, 250, 60))
PYEOF

# Damaged files.
mkdir -p bad
$PY - <<'PYEOF'
import struct, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
SIG = b"\x89PNG\r\n\x1a\n"
def ihdr(w, h, depth=8, ctype=2, interlace=0):
    return chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, ctype, 0, 0, interlace))
good = open("pil_rgb8.png", "rb").read()
idat = good.index(b"IDAT") - 4
idat_len = struct.unpack(">I", good[idat:idat + 4])[0]
# Cut in the middle of the image data.
open("bad/truncated_idat.png", "wb").write(good[:idat + 8 + idat_len // 2])
# Complete image data, then the file ends: no IEND.
open("bad/no_iend.png", "wb").write(good[:idat + 12 + idat_len])
# A flipped byte in the image data: zlib meets it before the CRC is checked.
b = bytearray(good); b[idat + 8 + 20] ^= 0x40
open("bad/idat_bad_data.png", "wb").write(bytes(b))
# Sound image data under a wrong CRC.
b = bytearray(good); b[idat + 8 + idat_len] ^= 0x01
open("bad/idat_crc.png", "wb").write(bytes(b))
# Image data that is not a zlib stream (CRC made to match).
open("bad/idat_not_zlib.png", "wb").write(good[:idat] + chunk(b"IDAT", b"\x00" * 40) + chunk(b"IEND", b""))
# Too little image data for the declared size.
rows = b"".join(b"\x00" + bytes(3 * 37) for _ in range(3))
open("bad/short_data.png", "wb").write(SIG + ihdr(37, 11) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
# Width 0, and a colour type that does not exist.
open("bad/zero_width.png", "wb").write(SIG + ihdr(0, 11) + chunk(b"IEND", b""))
open("bad/color_type_5.png", "wb").write(SIG + ihdr(8, 8, 8, 5) + chunk(b"IEND", b""))
# 100000 x 100000 RGB: 30 GB of pixels, refused before anything is allocated.
open("bad/huge_size.png", "wb").write(SIG + ihdr(100000, 100000) + chunk(b"IDAT", zlib.compress(b"\x00" * 64)) + chunk(b"IEND", b""))
# A palette file without its palette.
open("bad/no_plte.png", "wb").write(SIG + ihdr(4, 4, 8, 3) + chunk(b"IDAT", zlib.compress(b"\x00" * 20)) + chunk(b"IEND", b""))
# Not a PNG at all, and an empty file.
open("bad/not_png.png", "wb").write(b"GIF89a" + bytes(40))
open("bad/empty.png", "wb").write(b"")
PYEOF
