#!/bin/sh
# Regenerates the TIFF samples in this folder (the tests do not run it; the
# files are committed). Good samples are written by ImageMagick and Pillow
# from one synthetic picture (gradients plus deterministic noise); a few
# layouts neither writes (gray with a narrowed sample range, an 8-bit-valued
# colour map) and the damaged files under bad/ are built byte by byte with
# Python.
set -eu
cd "$(dirname "$0")"
IM=/usr/bin/convert
PY=/usr/bin/python3
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# The base picture: 37 x 19 (odd sizes exercise partial tiles, strips and bytes).
$PY - "$TMP" <<'PYEOF'
import sys
from PIL import Image
out = sys.argv[1]
w, h = 37, 19
state = 7
data = bytearray()
for y in range(h):
    for x in range(w):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        noise = (state >> 16) % 48 - 24
        r = 255 * x // (w - 1)
        g = 255 * y // (h - 1)
        b = 255 - (r + g) // 2
        data += bytes(max(0, min(255, v + noise)) for v in (r, g, b))
Image.frombytes("RGB", (w, h), bytes(data)).save(out + "/base.png")
PYEOF
B="$TMP/base.png"
TILE="-define tiff:tile-geometry=16x16"
# Bilevel pictures from the gradient, 1 bit per sample.
BW="-colorspace Gray -threshold 50% -type Bilevel"

# ImageMagick: every compression, planar and tiled layouts, gray, palette,
# bilevel, CMYK, 16 bits per sample, alpha and the bottom-left orientation.
$IM "$B" -compress None im_rgb8_none.tif
$IM "$B" -compress RLE im_rgb8_packbits.tif
$IM "$B" -compress LZW im_rgb8_lzw.tif
$IM "$B" -compress Zip im_rgb8_zip.tif
$IM "$B" -compress JPEG -quality 90 im_rgb8_jpeg.tif
$IM "$B" -compress None -interlace Plane im_rgb8_planar.tif
$IM "$B" -compress LZW $TILE im_rgb8_tiled.tif
$IM "$B" -compress None -interlace Plane $TILE im_rgb8_tiled_planar.tif
$IM "$B" -compress None -orient BottomLeft im_rgb8_bottomleft.tif
$IM "$B" -compress None -depth 16 im_rgb16.tif
$IM "$B" -compress Zip -depth 16 -endian MSB im_rgb16_msb.tif
$IM "$B" -compress None -depth 16 -interlace Plane im_rgb16_planar.tif
$IM "$B" -compress None -alpha set -channel A -evaluate set 50% +channel im_rgba8.tif
$IM "$B" -compress None -colorspace Gray -depth 8 im_gray8.tif
$IM "$B" -compress None -colorspace Gray -depth 8 -define quantum:polarity=min-is-white im_gray8_miniswhite.tif
$IM "$B" -compress None -colorspace Gray -depth 4 im_gray4.tif
$IM "$B" -compress None -colorspace Gray -depth 2 im_gray2.tif
$IM "$B" -compress LZW -colorspace Gray -depth 16 im_gray16.tif
$IM "$B" -compress None -colorspace Gray -depth 8 $TILE im_gray8_tiled.tif
$IM "$B" $BW -compress None im_bw1_none.tif
$IM "$B" $BW -compress RLE im_bw1_packbits.tif
$IM "$B" $BW -compress Fax im_bw1_fax3.tif
$IM "$B" $BW -compress Group4 im_bw1_fax4.tif
$IM "$B" $BW -compress None -define quantum:polarity=min-is-black im_bw1_minisblack.tif
$IM "$B" -compress None -colors 200 -type Palette im_pal8.tif
$IM "$B" -compress LZW -colors 16 -type Palette -depth 4 im_pal4.tif
$IM "$B" -compress None -colorspace CMYK im_cmyk8.tif
$IM "$B" -compress LZW -colorspace CMYK -depth 16 im_cmyk16.tif
$IM "$B" -compress None -colorspace CMYK -interlace Plane im_cmyk8_planar.tif

# Pillow: its compressions and modes.
$PY - "$B" <<'PYEOF'
import sys
from PIL import Image
rgb = Image.open(sys.argv[1]).convert("RGB")
rgb.save("pil_rgb8.tif")
rgb.save("pil_rgb8_lzw.tif", compression="tiff_lzw")
rgb.save("pil_rgb8_deflate.tif", compression="tiff_deflate")
rgb.save("pil_rgb8_packbits.tif", compression="packbits")
rgb.save("pil_rgb8_jpeg.tif", compression="jpeg")
gray = rgb.convert("L")
gray.save("pil_l8.tif")
bw = gray.point(lambda v: 255 if v >= 128 else 0).convert("1")
bw.save("pil_1.tif")
bw.save("pil_1_g3.tif", compression="group3")
bw.save("pil_1_g4.tif", compression="group4")
rgb.convert("P", palette=Image.ADAPTIVE, colors=200).save("pil_p8.tif")
rgb.convert("CMYK").save("pil_cmyk8.tif")
rgb.convert("YCbCr").save("pil_ycbcr8.tif")
rgba = rgb.copy()
rgba.putalpha(Image.linear_gradient("L").resize(rgb.size))
rgba.save("pil_rgba8.tif")
gray.convert("I").point(lambda v: v * 257).convert("I;16").save("pil_i16.tif")
PYEOF

# Built by hand, and the damaged files.
$PY - <<'PYEOF'
import struct

def tiff(w, h, entries, data, extra=b""):
    """Little-endian TIFF: header, pixel data at offset 8, then the IFD and
    the values that do not fit in an entry. entries: (tag, type, values);
    the strip offset entry (273) may be given as None to point at the data."""
    sizes = {1: 1, 2: 1, 3: 2, 4: 4}
    fmt = {1: "B", 2: "B", 3: "H", 4: "I"}
    ifd_offset = 8 + len(data) + len(extra)
    ifd_offset += ifd_offset % 2
    n = len(entries)
    values = bytearray()
    value_base = ifd_offset + 2 + 12 * n + 4
    out_entries = []
    for tag, typ, vals in sorted(entries, key=lambda e: e[0]):
        if vals is None:
            vals = [8]
        raw = struct.pack("<%d%s" % (len(vals), fmt[typ]), *vals)
        if len(raw) <= 4:
            field = raw.ljust(4, b"\0")
        else:
            field = struct.pack("<I", value_base + len(values))
            values += raw
            if len(values) % 2:
                values += b"\0"
        out_entries.append(struct.pack("<HHI", tag, typ, len(vals)) + field)
    body = b"II*\0" + struct.pack("<I", ifd_offset) + data + extra
    body += b"\0" * (ifd_offset - len(body))
    body += struct.pack("<H", n) + b"".join(out_entries) + struct.pack("<I", 0) + values
    return body

def basic(w, h, bits, spp, photometric, data, more=(), count=None):
    e = [(256, 4, [w]), (257, 4, [h]), (258, 3, [bits] * spp), (259, 3, [1]), (262, 3, [photometric]),
         (273, 4, None), (277, 3, [spp]), (278, 4, [h]), (279, 4, [len(data) if count is None else count])]
    tags = {t for t, _, _ in more}
    e = [x for x in e if x[0] not in tags] + list(more)
    return tiff(w, h, e, data)

def save(name, body):
    with open(name, "wb") as f:
        f.write(body)

# 4-bit min-is-black gray with MaxSampleValue 10: levels i x 255 / 10.
px = bytes(((2 * i) % 11 << 4) | ((2 * i + 1) % 11) for i in range(4 * 3))
save("py_gray4_max10.tif", basic(8, 3, 4, 1, 1, px, [(281, 3, [10])]))
# 8-bit palette whose colour map holds 8-bit values (all below 256).
cmap = [i for i in range(256)] + [255 - i for i in range(256)] + [(i * 7) % 256 for i in range(256)]
save("py_pal8_cmap8.tif", basic(16, 2, 8, 1, 3, bytes(range(32)), [(320, 3, cmap)]))
# 2-bit min-is-white gray, odd width.
save("py_gray2_miniswhite.tif", basic(5, 2, 2, 1, 0, bytes((0x1B, 0xC0, 0xE4, 0x40))))

save("bad/bits_3.tif", basic(4, 2, 3, 1, 1, bytes(4)))
save("bad/channels_2.tif", basic(4, 2, 8, 2, 1, bytes(16)))
save("bad/lab.tif", basic(4, 2, 8, 3, 8, bytes(24)))
save("bad/rgb_4bit.tif", basic(4, 2, 4, 3, 2, bytes(12)))
save("bad/huge.tif", basic(100000, 100000, 8, 1, 1, bytes(16)))
save("bad/zero_width.tif", basic(0, 2, 8, 1, 1, bytes(16)))
save("bad/not_tiff.tif", b"This is not a TIFF file at all.\n")
save("bad/header_only.tif", b"II*\0")
# Strip data cut short: 4 x 4 gray needs 16 bytes, the last 6 of the file.
size = len(basic(4, 4, 8, 1, 1, bytes(6), count=16))
save("bad/strip_cut.tif", basic(4, 4, 8, 1, 1, bytes(6), [(273, 4, [size - 6])], count=16))
# Strip offset far past the end of the file.
save("bad/strip_offset.tif", basic(4, 4, 8, 1, 1, bytes(16), [(273, 4, [1 << 30])]))
# LZW strip of garbage.
save("bad/lzw_garbage.tif", basic(4, 4, 8, 1, 1, bytes((0xFF, 0xFF, 0xFF, 0xFF, 0, 0)), [(259, 3, [5])]))
# 1-bit tiles 12 pixels wide: a tile row is not a whole number of bytes.
save("bad/tile_width_12.tif", tiff(24, 16, [(256, 4, [24]), (257, 4, [16]), (258, 3, [1]), (259, 3, [1]),
     (262, 3, [1]), (277, 3, [1]), (322, 4, [12]), (323, 4, [16]), (324, 4, [8, 8]), (325, 4, [24, 24])],
     bytes(48)))
# One tile of 65536 x 32768 bytes declared for a tiny image.
save("bad/huge_tile.tif", tiff(16, 16, [(256, 4, [16]), (257, 4, [16]), (258, 3, [8]), (259, 3, [1]),
     (262, 3, [1]), (277, 3, [1]), (322, 4, [65536]), (323, 4, [32768]), (324, 4, [8]), (325, 4, [256])],
     bytes(256)))
# YCbCr with a subsampling factor of 3.
save("bad/ycbcr_sub3.tif", basic(6, 3, 8, 3, 6, bytes(60), [(530, 3, [3, 3])]))
PYEOF
