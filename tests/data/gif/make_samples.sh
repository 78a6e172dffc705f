#!/bin/sh
# Regenerates the GIF samples in this folder (the tests do not run it; the
# files are committed). Good samples are written by ImageMagick and Pillow
# from synthetic pictures (gradients plus deterministic noise); kinds that
# neither writes (no global table, a local table larger than the global
# one, no table at all, a table that fills without a clear code, offsets
# past the screen, odd aspect and extension bytes) and every file under
# bad/ are built byte by byte with Python.
set -eu
cd "$(dirname "$0")"
IM=/usr/bin/convert
PY=/usr/bin/python3
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# The base pictures: 37 x 11 (odd width, below Pillow's interlace limit of
# 16) and 40 x 30 (interlaced by Pillow's default).
$PY - "$TMP" <<'PYEOF'
import sys
from PIL import Image
sys.path.insert(0, "..")
from sample_pictures import picture
out = sys.argv[1]
picture(37, 11, 7).save(out + "/base37.png")
picture(40, 30, 11).save(out + "/base40.png")
picture(40, 30, 11).transpose(Image.FLIP_TOP_BOTTOM).save(out + "/flip40.png")
PYEOF
B37="$TMP/base37.png"
B40="$TMP/base40.png"
F40="$TMP/flip40.png"

# ImageMagick: colour tables of 2 to 256 entries (LZW code sizes 2 to 8),
# interlaced, monochrome, gray, transparency, an image smaller than the
# screen at an offset, and an animation whose second frame has its own table.
$IM "$B37" -colors 256 im_pal8.gif
$IM "$B40" -colors 256 -interlace GIF im_pal8_interlaced.gif
for n in 2 4 8 16 32 64 128; do
  $IM "$B37" -colors $n im_colors$n.gif
done
$IM "$B37" -monochrome im_mono.gif
$IM "$B37" -colorspace Gray -colors 200 im_gray.gif
$IM "$B40" -colors 64 -alpha set -channel A -fx "j<6?0:1" +channel im_transparent.gif
$IM "$B40" -colors 32 -crop 20x12+7+9 im_offset.gif
$IM \( "$B40" -colors 16 \) \( "$F40" -colors 128 \) -delay 20 -loop 0 im_anim.gif

# Pillow: palette (optimised to the colours used), gray, 1-bit, interlaced
# (its default from 16 x 16 up), transparency, and an animation.
$PY - "$B37" "$B40" "$F40" <<'PYEOF'
import sys
from PIL import Image
small = Image.open(sys.argv[1]).convert("RGB")
big = Image.open(sys.argv[2]).convert("RGB")
flip = Image.open(sys.argv[3]).convert("RGB")
small.convert("P", palette=Image.ADAPTIVE, colors=256).save("pil_p.gif")
small.convert("P", palette=Image.ADAPTIVE, colors=6).save("pil_p6.gif")
small.convert("L").save("pil_l.gif")
small.convert("1").save("pil_1.gif")
big.convert("P", palette=Image.ADAPTIVE, colors=100).save("pil_interlaced.gif")
big.convert("P", palette=Image.ADAPTIVE, colors=100).save("pil_not_interlaced.gif", interlace=False)
big.convert("P", palette=Image.ADAPTIVE, colors=50).save("pil_transparency.gif", transparency=3)
first = big.convert("P", palette=Image.ADAPTIVE, colors=8)
second = flip.convert("P", palette=Image.ADAPTIVE, colors=200)
first.save("pil_anim.gif", save_all=True, append_images=[second], duration=100, loop=0)
PYEOF

# Built by hand.
$PY - "$B37" <<'PYEOF'
import struct, sys
from PIL import Image

def lzw_codes(indices, c, clear_when_full=True):
    """Standard GIF LZW with an exact dictionary; returns the code list."""
    clear = 1 << c
    codes = [clear]
    table, nxt, cur = {}, clear + 2, None
    for k in indices:
        if cur is None:
            cur = k
            continue
        if (cur, k) in table:
            cur = table[(cur, k)]
            continue
        codes.append(cur)
        if nxt < 4096:
            table[(cur, k)] = nxt
            nxt += 1
        elif clear_when_full:
            codes.append(clear)
            table, nxt = {}, clear + 2
        cur = k
    codes += [cur, clear + 1]
    return codes

def pack(codes, c):
    """Packs codes LSB first with the widths a decoder expects."""
    clear = 1 << c
    width, nxt, first = c + 1, clear + 2, True
    acc = nbits = 0
    out = bytearray()
    for code in codes:
        acc |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8
        if code == clear:
            width, nxt, first = c + 1, clear + 2, True
        elif code == clear + 1:
            pass
        elif first:
            first = False
        elif nxt < 4096:
            nxt += 1
            if nxt == (1 << width) and width < 12:
                width += 1
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)

def blocks(data, size=255):
    out = bytearray()
    for i in range(0, len(data), size):
        part = data[i:i + size]
        out += bytes((len(part),)) + part
    return bytes(out) + b"\0"

def table_bytes(colors, n):
    out = b"".join(bytes(col) for col in colors)
    return out + bytes(3 * (1 << n) - len(out))

def screen(w, h, global_n=None, aspect=0, version=b"89a", low_bits=0):
    packed = (0x80 | (global_n - 1)) if global_n else low_bits
    return b"GIF" + version + struct.pack("<HHBBB", w, h, packed, 0, aspect)

def image(left, top, w, h, data, c, local_n=None, interlaced=False):
    flags = (0x80 | (local_n - 1) if local_n else 0) | (0x40 if interlaced else 0)
    return b"," + struct.pack("<HHHHB", left, top, w, h, flags), bytes((c,)) + blocks(data)

def gif(head, *parts):
    return head + b"".join(parts) + b";"

def save(name, data):
    open(name, "wb").write(data)

def ramp_colors(n):
    return [((i * 37) % 256, (i * 91) % 256, (255 - i * 13) % 256) for i in range(n)]

pic = Image.open(sys.argv[1]).convert("RGB")
W, H = pic.size
p256 = pic.convert("P", palette=Image.ADAPTIVE, colors=256)
idx256 = list(p256.tobytes())
pal256 = p256.getpalette()[:768]
colors256 = [tuple(pal256[3 * i:3 * i + 3]) for i in range(256)]
p16 = pic.convert("P", palette=Image.ADAPTIVE, colors=16)
idx16 = list(p16.tobytes())
colors16 = [tuple(p16.getpalette()[3 * i:3 * i + 3]) for i in range(16)]

# No global table (packed byte 0, as if it declared 2 entries) and a
# 256-entry local table.
d, s = image(0, 0, W, H, pack(lzw_codes(idx256, 8), 8), 8, local_n=8)
save("py_local_only.gif", gif(screen(W, H), d, table_bytes(colors256, 8), s))
# A 2-entry global table and a 16-entry local table.
d, s = image(0, 0, W, H, pack(lzw_codes(idx16, 4), 4), 4, local_n=4)
save("py_global2_local16.gif",
     gif(screen(W, H, 1) + table_bytes([(255, 0, 0), (0, 0, 255)], 1), d, table_bytes(colors16, 4), s))
# No colour table anywhere.
d, s = image(0, 0, W, H, pack(lzw_codes(idx256, 8), 8), 8)
save("py_no_table.gif", gif(screen(W, H), d, s))
# A 2-entry global table with 1-bit data from the 16-colour indices' low bit.
bits = [v & 1 for v in idx16]
d, s = image(0, 0, W, H, pack(lzw_codes(bits, 2), 2), 2)
save("py_global2.gif", gif(screen(W, H, 1) + table_bytes([(10, 200, 30), (240, 230, 5)], 1), d, s))
# Noise 120 x 100 with 8-bit indices whose table fills without a clear code
# (the decoder keeps 12-bit codes and adds nothing).
state, noise = 99, []
for i in range(120 * 100):
    state = (state * 1103515245 + 12345) & 0x7FFFFFFF
    noise.append((state >> 16) & 0xFF)
d, s = image(0, 0, 120, 100, pack(lzw_codes(noise, 8, clear_when_full=False), 8), 8)
save("py_deferred_clear.gif", gif(screen(120, 100, 8) + table_bytes(ramp_colors(256), 8), d, s))
# Interlaced 7 x 10 image whose k-th stored row holds index k: the rows
# arrive in the order 0, 8, 4, 2, 6, 1, 3, 5, 7, 9.
stored = [k for k in range(10) for x in range(7)]
d, s = image(0, 0, 7, 10, pack(lzw_codes(stored, 4), 4), 4, interlaced=True)
save("py_interlaced10.gif", gif(screen(7, 10, 4) + table_bytes(ramp_colors(16), 4), d, s))
# A 12 x 9 image at 3, 2 on a 10 x 8 screen: the part past the screen is dropped.
part = [(x * 16 + y) % 256 for y in range(9) for x in range(12)]
d, s = image(3, 2, 12, 9, pack(lzw_codes(part, 8), 8), 8)
save("py_past_screen.gif", gif(screen(10, 8, 8) + table_bytes(ramp_colors(256), 8), d, s))
# The same interlaced: rows past the screen come between visible ones.
d, s = image(3, 2, 12, 9, pack(lzw_codes([(x * 16 + y) % 256 for y in (0, 8, 4, 2, 6, 1, 3, 5, 7) for x in range(12)], 8), 8), 8,
             interlaced=True)
save("py_past_screen_interlaced.gif", gif(screen(10, 8, 8) + table_bytes(ramp_colors(256), 8), d, s))
# Odd aspect byte, an unknown extension, a comment, a plain-text and an
# application extension, a stray byte, and a graphic control extension
# before a 2-frame GIF87a file.
d, s = image(0, 0, W, H, pack(lzw_codes(idx16, 4), 4), 4)
d2, s2 = image(0, 0, W, H, pack(lzw_codes([15 - v for v in idx16], 4), 4), 4)
ext = (b"!\x99\x03abc\x00" + b"!\xfe\x05hello\x00" + b"!\x01\x0c" + bytes(12) + b"\x02hi\x00"
       + b"!\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00" + b"\x07"
       + b"!\xf9\x04\x01\x0a\x00\x05\x00")
save("py_extensions.gif", gif(screen(W, H, 4, aspect=0x40, version=b"87a") + table_bytes(colors16, 4),
                              ext, d, s, d2, s2))

# --- damaged files ---
base = open("im_colors16.gif", "rb").read()
def bad(name, data):
    open("bad/" + name, "wb").write(data)
g16 = screen(4, 2, 4) + table_bytes(ramp_colors(16), 4)
bad("magic_cut.gif", b"GIF8")
bad("not_gif.gif", b"GIT" + base[3:])
bad("version_88a.gif", b"GIF88a" + base[6:])
bad("screen_cut.gif", base[:10])
bad("global_table_cut.gif", base[:13 + 20])
bad("no_image.gif", g16 + b"!\xfe\x02hi\x00")
bad("extension_label_cut.gif", g16 + b"!")
bad("trailer_first.gif", g16 + b";" + b",\0\0\0\0\x04\0\x02\0\0\x04\x02\x84\x0f\0" + b";")
bad("descriptor_cut.gif", g16 + b",\0\0\0\0\x04\0")
bad("local_table_cut.gif", g16 + b",\0\0\0\0\x04\0\x02\0\x87" + bytes(100))
bad("code_size_missing.gif", g16 + b",\0\0\0\0\x04\0\x02\0\0")
bad("code_size_12.gif", g16 + b",\0\0\0\0\x04\0\x02\0\x80\0\0\0\xff\xff\xff\x0c\x02\x00\x00\x00;")
bad("code_size_0.gif", g16 + b",\0\0\0\0\x04\0\x02\0\0\x00\x02\x00\x00\x00;")
bad("zero_screen.gif", screen(0, 11, 4) + table_bytes(ramp_colors(16), 4) + base[13 + 48:])
bad("huge_screen.gif", screen(65535, 65535, 8) + table_bytes(ramp_colors(256), 8)
    + b",\0\0\0\0\x01\0\x01\0\0\x08\x03\x00\x01\x02\x00;")

# Damaged LZW data that still reads (the rest stays index 0). A 4 x 2
# image, code size 2 (clear 4, end 5, first width 3):
# literals 1, 2, 3, then code 8 (== next free: the previous string "3"
# plus its own first character, "33"), then code 11, beyond the table.
bad("code_beyond_table.gif", gif(g16, *image(0, 0, 4, 2, pack([4, 1, 2, 3, 8, 11, 1, 5], 2), 2)))
# The first code after a clear is not a literal.
bad("first_code_not_literal.gif", gif(g16, *image(0, 0, 4, 2, pack([4, 1, 2, 4, 6, 1, 5], 2), 2)))
# The data ends (zero-length sub-block) after three pixels, no end code.
bad("data_cut.gif", gif(g16, *image(0, 0, 4, 2, pack([4, 3, 1, 2], 2), 2)))
# The file ends two bytes into its 4-byte data sub-block: codes 4, 3, 1, 2
# and one 4-bit code 1 remain.
bad("file_cut.gif", (g16 + b"".join(image(0, 0, 4, 2, pack([4, 3, 1, 2, 1, 1, 1, 1, 5], 2), 2)))[:-3])
# An endless clear-code stream with a long string for a 1 x 1 image.
codes = [4, 1] + [4, 1] * 3000 + [5]
bad("many_codes.gif", gif(g16.replace(struct.pack("<HH", 4, 2), struct.pack("<HH", 1, 1), 1),
                          *image(0, 0, 1, 1, pack(codes, 2), 2)))
PYEOF
ls -l . bad
