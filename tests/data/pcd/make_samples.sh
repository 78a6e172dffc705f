#!/bin/sh
# Regenerates the Photo CD samples in this folder (the tests do not run it;
# the files are committed). ImageMagick writes image packs with the three
# base resolutions only; the 4Base and 16Base samples and the damaged files
# under bad/ are built byte by byte by the Python encoder below, which
# lays out the sectors, writes the Huffman tables and codes the residual
# rows, and lists every residual it coded in a side file so that the tests
# can check the decode without decoding Huffman codes themselves.
set -eu
cd "$(dirname "$0")"
IM=/usr/bin/convert
PY=/usr/bin/python3
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# ImageMagick: a 768 x 512 picture (gradients plus deterministic noise) and
# one of saturated colour bars, written as Base/16, Base/4 and Base.
$PY - "$TMP" <<'PYEOF'
import sys
from PIL import Image
out = sys.argv[1]
w, h = 768, 512
state = 7
data = bytearray()
for y in range(h):
    for x in range(w):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        noise = (state >> 16) % 32 - 16
        r = 255 * x // (w - 1)
        g = 255 * y // (h - 1)
        b = 255 - (r + g) // 2
        data += bytes(max(0, min(255, v + noise)) for v in (r, g, b))
Image.frombytes("RGB", (w, h), bytes(data)).save(out + "/gradient.png")
bars = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0), (0, 255, 255), (255, 0, 255), (255, 255, 255), (0, 0, 0)]
data = bytearray()
for y in range(h):
    for x in range(w):
        data += bytes(bars[x * len(bars) // w])
Image.frombytes("RGB", (w, h), bytes(data)).save(out + "/bars.png")
PYEOF
$IM "$TMP/gradient.png" PCD:im_gradient.pcd
$IM "$TMP/bars.png" PCD:im_bars.pcd

# Python: image packs with 4Base and 16Base residuals, and damaged files.
$PY - <<'PYEOF'
import random

SECTOR = 2048
WIDTHS = [192, 384, 768, 1536, 3072]
HEIGHTS = [128, 256, 512, 1024, 2048]
BASE_SECTORS = [4, 23, 96]
SYNC = 0xFFFFFE


def clamp(v):
    return max(0, min(255, v))


class Pack:
    """A Photo CD image pack under construction, addressed by sector."""

    def __init__(self):
        self.data = bytearray(SECTOR * 2)
        self.put(0, b"\xff" * SECTOR)
        self.put(SECTOR, b"PCD_IPI")

    def put(self, offset, chunk):
        end = offset + len(chunk)
        if end > len(self.data):
            self.data += bytes(end - len(self.data))
        self.data[offset:end] = chunk

    def base(self, level, planes):
        """Stores luma (w x h) and chroma (w/2 x h/2) as groups of rows."""
        y, c1, c2 = planes
        w, h = WIDTHS[level], HEIGHTS[level]
        out = bytearray()
        for g in range(h // 2):
            out += bytes(y[2 * g]) + bytes(y[2 * g + 1]) + bytes(c1[g]) + bytes(c2[g])
        self.put(BASE_SECTORS[level] * SECTOR, out)

    def pad(self, sectors):
        if len(self.data) < sectors * SECTOR:
            self.data += bytes(sectors * SECTOR - len(self.data))

    def save(self, name):
        with open(name, "wb") as f:
            f.write(self.data)


def smooth_planes(level):
    w, h = WIDTHS[level], HEIGHTS[level]
    y = [[clamp(20 + 200 * x // (w - 1) + (x * r) % 7) for x in range(w)] for r in range(h)]
    c1 = [[clamp(100 + 112 * r // (h // 2 - 1) + x % 5) for x in range(w // 2)] for r in range(h // 2)]
    c2 = [[clamp(200 - 112 * x // (w // 2 - 1) + r % 3) for x in range(w // 2)] for r in range(h // 2)]
    return y, c1, c2


def flat_planes(level, luma=60):
    w, h = WIDTHS[level], HEIGHTS[level]
    return ([[luma] * w for _ in range(h)], [[156] * (w // 2) for _ in range(h // 2)],
            [[137] * (w // 2) for _ in range(h // 2)])


def unary_table(values):
    """Code k for values[k]: k one bits then a zero (at most 15 ones, so no
    code sequence can look like the 23 ones of the sync pattern)."""
    return [(k + 1, ((1 << k) - 1) << 1, v) for k, v in enumerate(values)]


def table_bytes(entries, order_seed=None):
    """Byte m, then m + 1 entries: length - 1, code high, code low (left
    aligned in 16 bits), signed value."""
    entries = list(entries)
    if order_seed is not None:
        random.Random(order_seed).shuffle(entries)
    out = bytearray([len(entries) - 1])
    for length, code, value in entries:
        aligned = code << (16 - length) if length <= 16 else code
        out += bytes([length - 1, aligned >> 8, aligned & 0xFF, value & 0xFF])
    return out


class Bits:
    def __init__(self):
        self.text = []
        self.count = 0

    def put(self, value, n):
        self.text.append(format(value, "0%db" % n))
        self.count += n

    def sync_row(self, plane, row):
        self.put(SYNC, 24)
        self.put((plane << 14) | (row << 1), 16)

    def code(self, table, value):
        for length, code, v in table:
            if v == value:
                self.put(code, length)
                return
        raise ValueError(value)

    def bytes(self):
        s = "".join(self.text)
        s += "0" * (-len(s) % 8)
        return bytes(int(s[i:i + 8], 2) for i in range(0, len(s), 8))


def write_rows(bits, tables, rows, rng, side, stream, widths):
    """Codes the listed (plane, row, count) rows with random residuals."""
    for plane, row, count in rows:
        table = tables[0 if plane == 0 else plane - 1]
        values = [v for _, _, v in table]
        weights = [2 ** -k for k in range(len(values))]
        residuals = rng.choices(values, weights, k=count)
        bits.sync_row(plane, row)
        for v in residuals:
            bits.code(table, v)
        if side is not None:
            side.append("%d %d %d %s" % (stream, plane, row, " ".join(map(str, residuals))))


def stream_end(start_sector, bits):
    """The sector after the one holding the stream's last bit."""
    return start_sector + (bits.count - 1) // (SECTOR * 8) + 1


LUMA = unary_table([0, 1, -1, 3, -3, 10, -10, 40, -40, 127, -128, 2, -2, 5, -5, 77])
C1 = unary_table([0, 2, -2, 20, -20, 100])
C2 = unary_table([0, -1, 1, 50, -50, -100, 7])


def residual_pack(name, rows4, rows16, ragged=False):
    rng = random.Random(name)
    side = []
    pack = Pack()
    for level in range(3):
        pack.base(level, smooth_planes(level))
    pack.put(388 * SECTOR, table_bytes(LUMA, order_seed=1))
    bits = Bits()
    write_rows(bits, [LUMA], rows4, rng, side, 4, None)
    bits.sync_row(0, HEIGHTS[3])
    pack.put(389 * SECTOR, bits.bytes())
    end = stream_end(389, bits)
    if rows16 is not None:
        pack.put((end + 12) * SECTOR, table_bytes(LUMA, 2) + table_bytes(C1, 3) + table_bytes(C2, 4))
        bits = Bits()
        write_rows(bits, [LUMA, C1, C2], rows16, rng, side, 16, None)
        bits.sync_row(0, HEIGHTS[4])
        pack.put((end + 14) * SECTOR, bits.bytes())
    pack.pad(-(-len(pack.data) // SECTOR))
    pack.save(name + ".pcd")
    with open(name + ".residuals", "w") as f:
        f.write("# stream plane row residuals... (one coded row per line, in stream order)\n")
        f.write("\n".join(side) + "\n")


# Whole rows in the order a scanner might not keep, and residuals that clamp.
residual_pack("py_16base",
              [(0, 511, 1536), (0, 0, 1536), (0, 1023, 1536), (0, 1, 1536), (0, 1000, 1536), (0, 2, 1536)],
              [(0, 0, 3072), (2, 0, 1536), (0, 2047, 3072), (3, 6, 1536), (0, 700, 3072), (2, 1001, 1536),
               (3, 2046, 1536), (0, 1, 3072)])
# A short row (the rest keeps its interpolated values) and a long one (the
# codes past the end are dropped).
residual_pack("py_4base_ragged", [(0, 5, 700), (0, 6, 1536 + 37), (0, 7, 1536)], None)


# Damaged files. Each starts from flat gray base images (luma 60, neutral
# chroma) with a 4Base luma table that knows only "0" -> 0 and "10" -> 40.
SMALL = [(1, 0b0, 0), (2, 0b10, 40)]


def damaged(name, table=None, stream=None, tables16=None, stream16=None, cut=None):
    pack = Pack()
    pack.base(2, flat_planes(2))
    pack.pad(388)
    pack.put(388 * SECTOR, table if table is not None else table_bytes(SMALL))
    if stream is not None:
        pack.put(389 * SECTOR, stream.bytes())
        end = stream_end(389, stream)
        if tables16 is not None:
            pack.put((end + 12) * SECTOR, tables16)
        if stream16 is not None:
            pack.put((end + 14) * SECTOR, stream16.bytes())
    pack.pad(-(-len(pack.data) // SECTOR))
    data = pack.data if cut is None else pack.data[:cut]
    with open("bad/" + name + ".pcd", "wb") as f:
        f.write(data)


def row_of(plane, row, values, bits=None):
    bits = bits or Bits()
    bits.sync_row(plane, row)
    for v in values:
        bits.code(SMALL, v)
    return bits


# Base image cut short: Base/16 and Base/4 are there, Base is not.
pack = Pack()
pack.base(0, flat_planes(0))
pack.base(1, flat_planes(1))
pack.pad(150)
pack.save("bad/base_cut.pcd")

# Code length 17.
damaged("length_17", table=table_bytes([(1, 0, 0), (17, 0b10, 40)]), stream=row_of(0, 0, [0]))
# Row 10 fully coded (+40 everywhere), then five +40 codes of row 20 and a
# code "11" that the table does not hold.
bits = row_of(0, 10, [40] * 1536)
row_of(0, 20, [40] * 5, bits)
bits.put(0b11, 2)
bits.put(0, 64)
damaged("no_table_entry", stream=bits)
# Row 10 coded, then a luma row beyond the height, then a row that must not be
# reached.
bits = row_of(0, 10, [40] * 1536)
row_of(0, 2000, [40] * 8, bits)
row_of(0, 20, [40] * 1536, bits)
bits.sync_row(0, 1024)
damaged("row_beyond_height", stream=bits)
# A chroma row in a 4Base stream.
bits = row_of(0, 10, [40] * 1536)
row_of(2, 20, [40] * 8, bits)
bits.sync_row(0, 1024)
damaged("chroma_in_4base", stream=bits)
# Plane 1 does not exist.
bits = row_of(1, 10, [40] * 8)
bits.sync_row(0, 1024)
damaged("plane_1", stream=bits)
# The stream does not start with the sync pattern.
bits = Bits()
bits.put(0, 16)
row_of(0, 10, [40] * 1536, bits)
bits.sync_row(0, 1024)
damaged("no_sync", stream=bits)
# The file ends inside row 20 (after row 10 and some of row 20).
bits = row_of(0, 10, [40] * 1536)
row_of(0, 20, [40] * 1536, bits)
bits.sync_row(0, 1024)
damaged("stream_cut", stream=bits, cut=389 * SECTOR + 700)
# A complete 4Base stream, then 16Base tables that overrun their sector.
bits = row_of(0, 10, [40] * 1536)
bits.sync_row(0, 1024)
big = unary_table(list(range(16))) * 16
damaged("tables_16base_overrun", stream=bits,
        tables16=table_bytes(big) + table_bytes(big) + table_bytes(big))
# A complete 4Base stream and nothing after it.
bits = row_of(0, 10, [40] * 1536)
bits.sync_row(0, 1024)
damaged("no_16base", stream=bits)
PYEOF
