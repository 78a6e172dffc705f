#!/bin/sh
# Regenerates the JPEG samples in this folder (the tests do not run it; the
# files are committed). Good samples are written by ImageMagick and Pillow
# from one synthetic picture (gradients plus deterministic noise): gray,
# RGB at several qualities and subsamplings, progressive, and CMYK in
# Adobe's inverted form; one CMYK file has its Adobe marker removed by
# Python. The damaged files under bad/ are built byte by byte with Python.
set -eu
cd "$(dirname "$0")"
IM=/usr/bin/convert
PY=/usr/bin/python3
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

$PY - "$TMP" <<'PYEOF'
import sys
from PIL import Image
sys.path.insert(0, "..")
from sample_pictures import picture
out = sys.argv[1]
picture(37, 11, 7).save(out + "/base37.png")
picture(45, 29, 11).save(out + "/base45.png")
PYEOF
B37="$TMP/base37.png"
B45="$TMP/base45.png"

# ImageMagick.
$IM "$B37" -colorspace Gray im_gray.jpg
$IM "$B45" -quality 75 im_rgb_q75.jpg
$IM "$B45" -quality 30 im_rgb_q30.jpg
$IM "$B45" -quality 95 -sampling-factor 1x1 im_rgb_444.jpg
$IM "$B45" -sampling-factor 2x1 im_rgb_422.jpg
$IM "$B45" -sampling-factor 2x2 im_rgb_420.jpg
$IM "$B45" -interlace JPEG im_rgb_progressive.jpg
$IM "$B37" -colorspace Gray -interlace JPEG im_gray_progressive.jpg
$IM "$B45" -colorspace CMYK im_cmyk.jpg

# Pillow.
$PY - "$B37" "$B45" <<'PYEOF'
import sys
from PIL import Image
small = Image.open(sys.argv[1]).convert("RGB")
big = Image.open(sys.argv[2]).convert("RGB")
small.convert("L").save("pil_gray.jpg")
big.save("pil_rgb_q75.jpg")
big.save("pil_rgb_q10.jpg", quality=10)
big.save("pil_rgb_q100_444.jpg", quality=100, subsampling=0)
big.save("pil_rgb_422.jpg", subsampling=1)
big.save("pil_rgb_420_optimized.jpg", subsampling=2, optimize=True)
big.save("pil_rgb_progressive.jpg", progressive=True)
big.save("pil_rgb_restart.jpg", restart_marker_rows=1)
cmyk = big.convert("CMYK")
# Some black ink too, so all four planes carry a picture.
cmyk = Image.merge("CMYK", cmyk.split()[:3] + (big.convert("L").point(lambda v: 255 - v),))
cmyk.save("pil_cmyk.jpg")
PYEOF

# A CMYK file without its Adobe (APP14) marker: still read as inverted, as
# ImageMagick and Pillow read it.
$PY - <<'PYEOF'
b = open("pil_cmyk.jpg", "rb").read()
at = b.index(b"\xff\xee")
length = int.from_bytes(b[at + 2:at + 4], "big")
open("py_cmyk_no_adobe.jpg", "wb").write(b[:at] + b[at + 2 + length:])
PYEOF

# Damaged files.
mkdir -p bad
$PY - <<'PYEOF'
good = open("pil_rgb_q75.jpg", "rb").read()
sos = good.index(b"\xff\xda")
# Cut inside the entropy-coded data.
open("bad/truncated.jpg", "wb").write(good[:sos + (len(good) - sos) // 2])
# Cut inside the progressive scans.
prog = open("pil_rgb_progressive.jpg", "rb").read()
open("bad/truncated_progressive.jpg", "wb").write(prog[:len(prog) * 2 // 3])
# Headers only: the file ends right after the scan header.
open("bad/headers_only.jpg", "wb").write(good[:sos + 2 + int.from_bytes(good[sos + 2:sos + 4], "big")])
# Tables but no image: SOI, the quantisation tables, EOI.
dqt = good.index(b"\xff\xdb")
sof = good.index(b"\xff\xc0")
open("bad/tables_only.jpg", "wb").write(b"\xff\xd8" + good[dqt:sof] + b"\xff\xd9")
# 65000 x 65000 declared in the frame header: refused before decoding.
b = bytearray(good)
b[sof + 5:sof + 9] = (65000).to_bytes(2, "big") + (65000).to_bytes(2, "big")
open("bad/huge_size.jpg", "wb").write(bytes(b))
# Height 0 in the frame header.
b = bytearray(good)
b[sof + 5:sof + 7] = b"\x00\x00"
open("bad/zero_height.jpg", "wb").write(bytes(b))
# Not a JPEG, and an empty file.
open("bad/not_jpeg.jpg", "wb").write(b"\x89PNG\r\n\x1a\n" + bytes(32))
open("bad/empty.jpg", "wb").write(b"")
PYEOF
