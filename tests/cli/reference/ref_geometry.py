"""Geometry: quarter turns, flips, resampling, free rotation, shear, canvas
size and crop, worked out from their formulas.

Without a selection every operation transforms the whole image. With one,
the turns, flips, resizing, free rotation and shear transform the selected
piece instead: it is lifted with an alpha, transformed, centred on the old
rectangle and dropped back (refsupport.floated_transform), and later
operations of the run work on that piece. Canvas size and crop still
rebuild the whole image. The selection cases check both.
"""

import math
import os
import struct
import sys
import tempfile

from PIL import Image as PILImage

from refsupport import (Case, Picture, cdiv, difference, floated_transform, keep_outside, load, map_channels,
                        random_picture, run_cli, save, smooth_picture)


# ---------------------------------------------------------------------------
# Pixel access shared by the resampling code: a pixel as a tuple of channels
# and back, so one implementation serves RGB and gray pictures.

def _chan(picture, p):
    return (p,) if picture.mode == "L" else p


def _pix(mode, channels):
    return channels[0] if mode == "L" else tuple(channels)


def _zero(mode):
    return {"RGB": (0, 0, 0), "CMYK": (0, 0, 0, 0), "L": 0}[mode]


# CMYK pictures (mode "CMYK", pixels (c, m, y, k)) exist only here: the
# command line turns RGB into CMYK and back with the plain formulas (no
# colour management), so a CMYK case runs "mode:cmyk OP mode:rgb".

def to_cmyk(p):
    return Picture("CMYK", p.width, p.height, [[(255 - r, 255 - g, 255 - b, 0) for r, g, b in row] for row in p.rows])


def from_cmyk(p):
    return Picture("RGB", p.width, p.height,
                   [[tuple(max(0, 255 - v - k) for v in (c, m, y)) for c, m, y, k in row] for row in p.rows])


def through_cmyk(fn):
    return lambda p: from_cmyk(fn(to_cmyk(p)))


def _new(mode, width, height):
    return Picture.blank(mode, width, height, _zero(mode))


# ---------------------------------------------------------------------------
# Exact turns and mirrors.

def rotate90(p):
    """Clockwise: source row y becomes result column h - 1 - y."""
    out = _new(p.mode, p.height, p.width)
    for y in range(p.height):
        for x in range(p.width):
            out.rows[x][p.height - 1 - y] = p.rows[y][x]
    return out


def rotate270(p):
    """Counter-clockwise: source row y, read right to left, becomes column y."""
    out = _new(p.mode, p.height, p.width)
    for y in range(p.height):
        for x in range(p.width):
            out.rows[p.width - 1 - x][y] = p.rows[y][x]
    return out


def rotate180(p):
    out = _new(p.mode, p.width, p.height)
    for y in range(p.height):
        for x in range(p.width):
            out.rows[p.height - 1 - y][p.width - 1 - x] = p.rows[y][x]
    return out


def flip(p, vertical):
    out = p.copy()
    if vertical:
        out.rows = [list(r) for r in reversed(p.rows)]
    else:
        out.rows = [list(reversed(r)) for r in p.rows]
    return out


# ---------------------------------------------------------------------------
# Resampling. The ratio and the positions are single-precision floats, so
# they are rounded to float after every step, as the resampler does.

def f32(v):
    return struct.unpack("f", struct.pack("f", v))[0]


def resample_line(values, target, indexed=False):
    """One row or column (a list of channel tuples) resampled to `target`
    positions. Palette images take the first covered pixel (shrinking) or the
    left neighbour (enlarging) instead of mixing indices."""
    n = len(values)
    if n == target:
        return list(values)
    r = f32(n / target)
    out = []
    if target < n:
        for i in range(target):
            start = min(int(f32(i * r)), n - 1)
            end = max(min(int(f32((i + 1) * r)), n), start + 1)
            if indexed:
                out.append(values[start])
                continue
            covered = values[start:end]
            out.append(tuple(sum(c[k] for c in covered) // len(covered) for k in range(len(values[0]))))
    else:
        for i in range(target):
            s = f32(i * r)
            i0 = min(int(s), n - 1)
            i1 = min(i0 + 1, n - 1)
            f = f32(s - i0)
            a, b = values[i0], values[i1]
            if a == b or indexed:
                out.append(a)
                continue
            g = f32(1 - f)
            out.append(tuple(int(f32(f32(a[k] * g) + f32(b[k] * f)) + 0.5) for k in range(len(a))))
    return out


def resize(p, width, height, indexed=False):
    """Columns first (h -> height), then rows (w -> width)."""
    grid = [[_chan(p, v) for v in row] for row in p.rows]
    columns = [resample_line([grid[y][x] for y in range(p.height)], height, indexed) for x in range(p.width)]
    grid = [[columns[x][y] for x in range(p.width)] for y in range(height)]
    grid = [resample_line(row, width, indexed) for row in grid]
    return Picture(p.mode, width, height, [[_pix(p.mode, c) for c in row] for row in grid])


# ---------------------------------------------------------------------------
# Free rotation and shear: positions in 32.32 fixed point, linear blending
# in 256ths, black outside the source.

RADIANS_PER_HUNDREDTH = 0.00017453292519943277
ONE = 1 << 32


def fixed(v):
    return math.floor(v * 4294967296.0 + 0.5)


def split_fixed(position):
    """Left pixel and the right neighbour's weight in 256ths."""
    p = position >> 32
    w8 = ((position & (ONE - 1)) + (1 << 23)) >> 24
    if w8 == 256:
        p, w8 = p + 1, 0
    return p, w8


def blend(line, p, w8, indexed=False):
    """line: channel tuples; positions outside are black (index 0). Palette
    images take the left pixel."""
    n = len(line)
    zero = (0,) * len(line[0])
    a = line[p] if 0 <= p < n else zero
    if indexed:
        return a
    b = line[p + 1] if 0 <= p + 1 < n else zero
    return tuple((a[k] * (256 - w8) + b[k] * w8 + 128) >> 8 for k in range(len(zero)))


def rotate_point(x, y, cx, cy, a):
    c, s = math.cos(a), math.sin(a)
    xr = math.floor((1 - c) * cx + cy * s + x * c - y * s + 0.5)
    yr = math.floor(cy - (cy * c + cx * s) + y * c + x * s + 0.5)
    return xr, yr


def rotate_small(p, hundredths, indexed=False):
    """Rotation by at most 45 degrees either way, into the bounding box."""
    if hundredths == 0:
        return p.copy()
    a = hundredths * RADIANS_PER_HUNDREDTH
    w, h = p.width, p.height
    corners = [rotate_point(x, y, w // 2, h // 2, a) for x, y in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1))]
    width = max(c[0] for c in corners) - min(c[0] for c in corners) + 1
    height = max(c[1] for c in corners) - min(c[1] for c in corners) + 1
    c, s = math.cos(a), math.sin(a)
    q, t = 1 / c, s / c
    cxs, cys = (w - 1) / 2, (h - 1) / 2
    cxt, cyt = (width - 1) / 2, (height - 1) / 2
    grid = [[_chan(p, v) for v in row] for row in p.rows]
    # Rows: a width x h picture; each source row scaled by 1/cos and shifted
    # by tan times its distance from the centre.
    step = fixed(q)
    first = []
    for y in range(h):
        start = fixed((cxs - cxt * q) + t * (y - cys))
        first.append([blend(grid[y], *split_fixed(start + x * step), indexed) for x in range(width)])
    # Columns: the width x height result.
    step = fixed(c)
    out = [[None] * width for _ in range(height)]
    for x in range(width):
        column = [first[y][x] for y in range(h)]
        start = fixed((cys - c * cyt) - s * (x - cxt))
        for y in range(height):
            out[y][x] = blend(column, *split_fixed(start + y * step), indexed)
    return Picture(p.mode, width, height, [[_pix(p.mode, v) for v in row] for row in out])


def hundredths_of(degrees):
    return math.floor(degrees * 100 + 0.5)


def rotate(p, degrees, indexed=False):
    """Clockwise by `degrees`: quarter turns for the part beyond 45 degrees,
    then the small rotation."""
    angle = hundredths_of(degrees) % 36000
    if angle <= 4500:
        turned = p
    elif angle <= 13500:
        turned, angle = rotate90(p), angle - 9000
    elif angle <= 22500:
        turned, angle = rotate180(p), angle - 18000
    elif angle <= 31500:
        turned, angle = rotate270(p), angle - 27000
    else:
        turned, angle = p, angle - 36000
    return rotate_small(turned, angle, indexed)


def shear(p, degrees, vertical, indexed=False):
    angle = hundredths_of(degrees) % 36000
    if angle > 9000:
        angle -= 18000 if angle <= 27000 else 36000
    t = math.tan(angle * RADIANS_PER_HUNDREDTH)
    grid = [[_chan(p, v) for v in row] for row in p.rows]
    if not vertical:
        width = p.width + math.ceil(abs(t) * (p.height - 1))
        out = []
        for y in range(p.height):
            d = t * y - min(0.0, t * (p.height - 1))
            out.append(_shift_line(grid[y], d, width, indexed))
        return Picture(p.mode, width, p.height, [[_pix(p.mode, v) for v in row] for row in out])
    height = p.height + math.ceil(abs(t) * (p.width - 1))
    columns = []
    for x in range(p.width):
        d = -t * x - min(0.0, -t * (p.width - 1))
        columns.append(_shift_line([grid[y][x] for y in range(p.height)], d, height, indexed))
    return Picture(p.mode, p.width, height,
                   [[_pix(p.mode, columns[x][y]) for x in range(p.width)] for y in range(height)])


def _shift_line(line, d, length, indexed):
    """The line moved on by d pixels (fractional) into `length` positions."""
    f = -d
    p0 = math.floor(f)
    w8 = math.floor((f - p0) * 256 + 0.5)
    if w8 == 256:
        p0, w8 = p0 + 1, 0
    return [blend(line, i + p0, w8, indexed) for i in range(length)]


# ---------------------------------------------------------------------------
# Canvas size and crop.

FILLS = {"white": 255, "black": 0, "background": 255}  # background: white until the user picks a colour


def canvas(p, width, height, anchor, fill):
    level = FILLS[fill]
    colour = {"L": level, "RGB": (level,) * 3, "CMYK": (255 - level,) * 3 + (0,)}[p.mode]
    out = Picture.blank(p.mode, width, height, colour)
    column, row = (anchor - 1) // 3, (anchor - 1) % 3
    dx = (0, cdiv(width - p.width, 2), width - p.width)[column]
    dy = (0, cdiv(height - p.height, 2), height - p.height)[row]
    for y in range(p.height):
        for x in range(p.width):
            if 0 <= x + dx < width and 0 <= y + dy < height:
                out.rows[y + dy][x + dx] = p.rows[y][x]
    return out


def crop(p, x0, y0, width, height):
    width = min(width, p.width - x0)
    height = min(height, p.height - y0)
    return Picture(p.mode, width, height, [list(p.rows[y0 + y][x0:x0 + width]) for y in range(height)])


def invert(p):
    return map_channels(p, lambda c: [255 - v for v in c])


# ---------------------------------------------------------------------------
# Refusals: a bad argument is a usage error (status 2), an operation that
# refuses its image a failure (status 1); neither writes the output file.

def _cli():
    argv = sys.argv
    return argv[argv.index("--cli") + 1]


def refused(op, status):
    def check(source, _output):
        with tempfile.TemporaryDirectory(prefix="vivid-geo-") as work:
            src = os.path.join(work, "in.bmp")
            out = os.path.join(work, "out.bmp")
            save(source, src)
            code, _, err = run_cli(_cli(), ["apply", src, out, op])
            if code != status:
                return "%s: exit %d, expected %d (%s)" % (op, code, status, err.strip())
            if not err.strip():
                return "%s: nothing said on stderr" % op
            if os.path.exists(out):
                return "%s: the output file was written" % op
        return None
    return check


def bilevel_case(label, width, height, seed, ops, expect):
    """1-bit images: the harness writes 8-bit files, so this case writes its
    own 1-bit BMP (a black and white picture) and runs the command itself.
    The source the harness passes in is ignored."""
    source = random_picture("L", width, height, seed)
    source = map_channels(source, lambda c: [255 if c[0] >= 128 else 0])

    def check(_source, _output):
        with tempfile.TemporaryDirectory(prefix="vivid-geo-") as work:
            src = os.path.join(work, "in.bmp")
            out = os.path.join(work, "out.bmp")
            image = PILImage.new("1", (width, height))
            image.putdata([v for row in source.rows for v in row])
            image.save(src, format="BMP")
            code, _, err = run_cli(_cli(), ["apply", src, out] + ops)
            if code != 0:
                return "exit %d: %s" % (code, err.strip())
            return difference(expect(load(src)), load(out))
    return Case(label, source, ops, check=check)


def expect_size(width, height, inner):
    """Checks the size first so that a wrong size reads clearly."""
    def check(source, output):
        actual = load(output)
        if (actual.width, actual.height) != (width, height):
            return "size %dx%d, expected %dx%d" % (actual.width, actual.height, width, height)
        return difference(inner(source), actual)
    return check


# ---------------------------------------------------------------------------

def cases():
    # A BMP written from an "L" picture carries the gray ramp as its colour
    # table and opens as an 8-bit palette image ("index" below): resampling
    # then picks pixels instead of mixing indices. "mode:gray" in front makes
    # it an 8-bit gray image ("gray" below) without changing a level.
    to_gray = ["mode:gray"]
    rgb = random_picture("RGB", 13, 9, 31)
    gray = random_picture("L", 11, 7, 32)
    smooth = smooth_picture("RGB", 24, 17, 33)
    smooth_gray = smooth_picture("L", 21, 15, 34)
    out = []

    # Turns and mirrors on every kind; compositions that must give back the
    # original or one another.
    for name, pic, prefix in (("rgb", rgb, []), ("gray", gray, to_gray), ("index", gray, [])):
        out.append(Case("rotate-90 " + name, pic, prefix + ["rotate-90"], rotate90))
        out.append(Case("rotate-180 " + name, pic, prefix + ["rotate-180"], rotate180))
        out.append(Case("rotate-270 " + name, pic, prefix + ["rotate-270"], rotate270))
        out.append(Case("flip-horizontal " + name, pic, prefix + ["flip-horizontal"], lambda p: flip(p, False)))
        out.append(Case("flip-vertical " + name, pic, prefix + ["flip-vertical"], lambda p: flip(p, True)))
        out.append(Case("four quarter turns " + name, pic, prefix + ["rotate-90"] * 4, lambda p: p))
        out.append(Case("rotate-90 then rotate-270 " + name, pic, prefix + ["rotate-90", "rotate-270"], lambda p: p))
        out.append(Case("both flips are a half turn " + name, pic, prefix + ["flip-horizontal", "flip-vertical"],
                        rotate180))
    one_row = random_picture("RGB", 9, 1, 35)
    out.append(Case("rotate-90 one row", one_row, ["rotate-90"], rotate90))
    out.append(Case("rotate-270 one row", one_row, ["rotate-270"], rotate270))
    out.append(Case("flip-vertical one row", one_row, ["flip-vertical"], lambda p: p))

    # Resize: shrinking (whole and fractional ratios), enlarging, one axis at
    # a time and both, mixed directions, 1-pixel results and the limits.
    sizes = [
        ("same size", 24, 17),
        ("shrink both by whole ratios", 12, 17 // 2),
        ("shrink both by fractions", 7, 5),
        ("shrink width only", 10, 17),
        ("shrink height only", 24, 6),
        ("enlarge both", 41, 30),
        ("enlarge width only", 53, 17),
        ("enlarge height only", 24, 29),
        ("wider and shorter", 37, 6),
        ("narrower and taller", 9, 31),
        ("to one pixel", 1, 1),
        ("to one column", 1, 23),
        ("to one row", 31, 1),
    ]
    for label, w, h in sizes:
        out.append(Case("resize %s rgb" % label, smooth, ["resize:%d,%d" % (w, h)],
                        lambda p, w=w, h=h: resize(p, w, h)))
    for label, w, h in (("shrink", 8, 4), ("enlarge", 34, 22), ("mixed", 5, 26), ("to one pixel", 1, 1),
                        ("same size", 21, 15)):
        out.append(Case("resize %s gray" % label, smooth_gray, to_gray + ["resize:%d,%d" % (w, h)],
                        lambda p, w=w, h=h: resize(p, w, h)))
        out.append(Case("resize %s index" % label, smooth_gray, ["resize:%d,%d" % (w, h)],
                        lambda p, w=w, h=h: resize(p, w, h, indexed=True)))
    out.append(Case("resize noise rgb", rgb, ["resize:29,4"], lambda p: resize(p, 29, 4)))
    out.append(Case("resize noise gray", gray, to_gray + ["resize:4,16"], lambda p: resize(p, 4, 16)))
    pixel = random_picture("RGB", 1, 1, 36)
    out.append(Case("resize one pixel up", pixel, ["resize:6,4"], lambda p: resize(p, 6, 4)))
    two = Picture("L", 2, 1, [[0, 255]])
    out.append(Case("resize two-pixel row to four", two, to_gray + ["resize:4,1"], lambda p: resize(p, 4, 1)))
    four = Picture("L", 4, 1, [[0, 100, 200, 255]])
    out.append(Case("resize four-pixel row to two", four, to_gray + ["resize:2,1"], lambda p: resize(p, 2, 1)))
    tiny = random_picture("L", 3, 2, 37)
    # A source longer than any size the dialogs accept, averaged into one
    # pixel: n - 1 levels 255 and one 254 must truncate to 254.
    strip = Picture("L", 65795, 1, [[255] * 30000 + [254] + [255] * 35794])
    out.append(Case("resize a very long row to one pixel", strip, to_gray + ["resize:1,1"],
                    lambda p: resize(p, 1, 1)))
    out.append(Case("resize to the largest height", tiny, to_gray + ["resize:1,32767"],
                    check=expect_size(1, 32767, lambda p: resize(p, 1, 32767))))

    # Free rotation: zero, the quarter-turn boundaries (45 stays a small
    # rotation, 45.01 becomes a quarter turn back by 44.99), right angles,
    # negative angles, the range ends and hundredths.
    angles = [0, 0.01, -0.01, 7, -13.25, 30, 45, -45, 45.01, -45.01, 60, 90, -90, 100, 135, 135.01,
              -135, -150, 179.99, 180, -180, 0.004, 0.005]
    for degrees in angles:
        out.append(Case("rotate %s rgb" % degrees, smooth, ["rotate:%s" % degrees],
                        lambda p, d=degrees: rotate(p, d)))
    for degrees in (0, 23.5, -45, 90, 120, -170, 180):
        out.append(Case("rotate %s gray" % degrees, smooth_gray, to_gray + ["rotate:%s" % degrees],
                        lambda p, d=degrees: rotate(p, d)))
        out.append(Case("rotate %s index" % degrees, smooth_gray, ["rotate:%s" % degrees],
                        lambda p, d=degrees: rotate(p, d, indexed=True)))
    out.append(Case("rotate noise", rgb, ["rotate:-33.3"], lambda p: rotate(p, -33.3)))
    even = random_picture("RGB", 16, 12, 38)
    long = smooth_picture("RGB", 30, 4, 39)
    for degrees in (33, -44.99, 71, -100):
        out.append(Case("rotate %s even sides" % degrees, even, ["rotate:%s" % degrees],
                        lambda p, d=degrees: rotate(p, d)))
        out.append(Case("rotate %s long" % degrees, long, ["rotate:%s" % degrees],
                        lambda p, d=degrees: rotate(p, d)))
    out.append(Case("rotate one pixel", pixel, ["rotate:30"], lambda p: rotate(p, 30)))
    out.append(Case("rotate one row", one_row, ["rotate:20"], lambda p: rotate(p, 20)))
    out.append(Case("rotate 90 equals rotate-90", rgb, ["rotate:90"], rotate90))
    out.append(Case("rotate -90 equals rotate-270", gray, to_gray + ["rotate:-90"], rotate270))

    # Shear: both directions (by name, by position, and the default), both
    # signs, the range ends.
    for degrees in (0, 10, -10, 26.57, 45, -45, 0.3, -44.99):
        out.append(Case("shear %s horizontal rgb" % degrees, smooth, ["shear:%s,horizontal" % degrees],
                        lambda p, d=degrees: shear(p, d, False)))
        out.append(Case("shear %s vertical rgb" % degrees, smooth, ["shear:%s,vertical" % degrees],
                        lambda p, d=degrees: shear(p, d, True)))
    for degrees in (17, -45):
        out.append(Case("shear %s default gray" % degrees, smooth_gray, to_gray + ["shear:%s" % degrees],
                        lambda p, d=degrees: shear(p, d, False)))
        out.append(Case("shear %s by position gray" % degrees, smooth_gray, to_gray + ["shear:%s,1" % degrees],
                        lambda p, d=degrees: shear(p, d, True)))
        out.append(Case("shear %s horizontal index" % degrees, smooth_gray, ["shear:%s" % degrees],
                        lambda p, d=degrees: shear(p, d, False, indexed=True)))
        out.append(Case("shear %s vertical index" % degrees, smooth_gray, ["shear:%s,vertical" % degrees],
                        lambda p, d=degrees: shear(p, d, True, indexed=True)))
    out.append(Case("shear one row vertical", one_row, ["shear:30,vertical"], lambda p: shear(p, 30, True)))
    out.append(Case("shear one row horizontal", one_row, ["shear:30"], lambda p: shear(p, 30, False)))

    # Canvas size: all nine anchors growing (odd growth, so the centring
    # division truncates), shrinking (the image is cut), growing one way and
    # shrinking the other, each fill, and the same size. Palette images get
    # the nearest table entry, which for the gray ramp is the level itself.
    for anchor in range(1, 10):
        out.append(Case("canvas grow anchor %d rgb" % anchor, rgb, ["canvas-size:20,14,%d,black" % anchor],
                        lambda p, a=anchor: canvas(p, 20, 14, a, "black")))
        out.append(Case("canvas shrink anchor %d rgb" % anchor, rgb, ["canvas-size:8,4,%d,white" % anchor],
                        lambda p, a=anchor: canvas(p, 8, 4, a, "white")))
        out.append(Case("canvas mixed anchor %d index" % anchor, gray, ["canvas-size:6,12,%d,white" % anchor],
                        lambda p, a=anchor: canvas(p, 6, 12, a, "white")))
    out.append(Case("canvas centre 10 larger gray", gray, to_gray + ["canvas-size:21,17,5,black"],
                    lambda p: canvas(p, 21, 17, 5, "black")))
    for fill in ("white", "black", "background"):
        out.append(Case("canvas fill %s rgb" % fill, rgb, ["canvas-size:16,16,9,%s" % fill],
                        lambda p, f=fill: canvas(p, 16, 16, 9, f)))
        out.append(Case("canvas fill %s gray" % fill, gray, to_gray + ["canvas-size:12,9,1,%s" % fill],
                        lambda p, f=fill: canvas(p, 12, 9, 1, f)))
        out.append(Case("canvas fill %s index" % fill, gray, ["canvas-size:12,9,8,%s" % fill],
                        lambda p, f=fill: canvas(p, 12, 9, 8, f)))
    out.append(Case("canvas to one pixel", rgb, ["canvas-size:1,1,5,white"], lambda p: canvas(p, 1, 1, 5, "white")))
    out.append(Case("canvas same size", rgb, ["canvas-size:13,9,3,black"], lambda p: p))

    # Crop: inside, the whole image, one pixel, and rectangles that run over
    # the right and bottom edges (cut there).
    for label, rect in (("inside", (2, 3, 7, 4)), ("whole", (0, 0, 13, 9)), ("one pixel", (12, 8, 1, 1)),
                        ("over the right edge", (9, 1, 10, 3)), ("over the bottom edge", (0, 5, 4, 20)),
                        ("over both edges", (6, 4, 32767, 32767))):
        out.append(Case("crop %s rgb" % label, rgb, ["crop:%d,%d,%d,%d" % rect], lambda p, r=rect: crop(p, *r)))
    out.append(Case("crop gray", gray, to_gray + ["crop:1,2,9,3"], lambda p: crop(p, 1, 2, 9, 3)))
    out.append(Case("crop index", gray, ["crop:0,4,11,3"], lambda p: crop(p, 0, 4, 11, 3)))

    # CMYK: four channels resampled alike, and outside the image there is no
    # ink, which reads back as white.
    cmyk, back = ["mode:cmyk"], ["mode:rgb"]
    for label, op, fn in (("rotate-90", "rotate-90", rotate90), ("rotate-270", "rotate-270", rotate270),
                          ("flip-horizontal", "flip-horizontal", lambda p: flip(p, False)),
                          ("resize", "resize:17,5", lambda p: resize(p, 17, 5)),
                          ("rotate", "rotate:-28", lambda p: rotate(p, -28)),
                          ("rotate 160", "rotate:160", lambda p: rotate(p, 160)),
                          ("shear", "shear:33,vertical", lambda p: shear(p, 33, True)),
                          ("canvas white", "canvas-size:16,12,6,white", lambda p: canvas(p, 16, 12, 6, "white")),
                          ("canvas black", "canvas-size:10,12,2,black", lambda p: canvas(p, 10, 12, 2, "black")),
                          ("crop", "crop:4,4,20,20", lambda p: crop(p, 4, 4, 20, 20))):
        out.append(Case("cmyk " + label, rgb if "canvas" in label else smooth, cmyk + [op] + back, through_cmyk(fn)))

    # 1-bit images: eight pixels to a byte, widths that end inside a byte;
    # resampling picks pixels, outside the image is index 0 (black).
    for label, ops, fn in (("rotate-90", ["rotate-90"], rotate90), ("rotate-270", ["rotate-270"], rotate270),
                           ("rotate-180", ["rotate-180"], rotate180),
                           ("flip-horizontal", ["flip-horizontal"], lambda p: flip(p, False)),
                           ("flip-vertical", ["flip-vertical"], lambda p: flip(p, True)),
                           ("resize", ["resize:29,5"], lambda p: resize(p, 29, 5, indexed=True)),
                           ("rotate", ["rotate:37"], lambda p: rotate(p, 37, indexed=True)),
                           ("shear", ["shear:-20"], lambda p: shear(p, -20, False, indexed=True)),
                           ("canvas", ["canvas-size:27,14,5,white"], lambda p: canvas(p, 27, 14, 5, "white")),
                           ("canvas cut right", ["canvas-size:12,6,9,black"], lambda p: canvas(p, 12, 6, 9, "black")),
                           ("canvas cut both sides", ["canvas-size:12,13,6,white"],
                            lambda p: canvas(p, 12, 13, 6, "white")),
                           ("crop", ["crop:3,1,9,8"], lambda p: crop(p, 3, 1, 9, 8))):
        out.append(bilevel_case("bilevel " + label, 19, 11, 40, ops, fn))

    # Chains: several shape changes in a row.
    out.append(Case("chain rgb", smooth, ["crop:3,2,15,11", "rotate-90", "resize:20,9", "shear:12", "flip-vertical"],
                    lambda p: flip(shear(resize(rotate90(crop(p, 3, 2, 15, 11)), 20, 9), 12, False), True)))
    out.append(Case("chain gray", smooth_gray, to_gray + ["rotate:-20", "canvas-size:30,30,5,white", "crop:4,4,20,20"],
                    lambda p: crop(canvas(rotate(p, -20), 30, 30, 5, "white"), 4, 4, 20, 20)))

    # Selection: the turns, flips and resampling move the selected piece
    # only; a later operation of the run works on the piece (still
    # floating), which is dropped back at the end. Free rotation and shear
    # trim the piece to its non-zero alpha; their alpha mixes at the edges,
    # so the piece is blended there over what lay beneath.
    select = (2, 1, 5, 4)
    out.append(Case("selection rotate-90", rgb, ["rotate-90"], floated_transform(select, rotate90), select=select))
    out.append(Case("selection flip-horizontal", gray, ["flip-horizontal"],
                    floated_transform(select, lambda p: flip(p, False)), select=select))
    out.append(Case("selection resize", smooth, ["resize:9,21"], floated_transform(select, lambda p: resize(p, 9, 21)),
                    select=select))
    out.append(Case("selection rotate", smooth, ["rotate:21"],
                    floated_transform(select, lambda p: rotate(p, 21), trim=True), select=select))
    out.append(Case("selection rotate index", gray, ["rotate:-33"],
                    floated_transform(select, lambda p: rotate(p, -33, True), lambda a: rotate(a, -33), trim=True,
                                      indexed=True), select=select))
    out.append(Case("selection shear", smooth, ["shear:-15,vertical"],
                    floated_transform(select, lambda p: shear(p, -15, True), trim=True), select=select))
    out.append(Case("selection canvas", rgb, ["canvas-size:17,12,5,black"], lambda p: canvas(p, 17, 12, 5, "black"),
                    select=select))
    out.append(Case("selection crop", rgb, ["crop:1,1,8,6"], lambda p: crop(p, 1, 1, 8, 6), select=select))
    out.append(Case("selection rotate-270 over the edge", rgb, ["rotate-270"], floated_transform((9, 6, 8, 8), rotate270),
                    select=(9, 6, 8, 8)))
    out.append(Case("selection kept after rotate-180", rgb, ["rotate-180", "invert-color"],
                    floated_transform(select, lambda p: invert(rotate180(p)), rotate180), select=select))
    out.append(Case("selection kept after flip-vertical", rgb, ["flip-vertical", "invert-color"],
                    floated_transform(select, lambda p: invert(flip(p, True)), lambda a: flip(a, True)),
                    select=select))
    out.append(Case("selection kept after resize", rgb, ["resize:10,10", "invert-color"],
                    floated_transform(select, lambda p: invert(resize(p, 10, 10)), lambda a: resize(a, 10, 10)),
                    select=select))
    # An unchanged canvas does nothing, so the selection still holds.
    out.append(Case("selection kept by an unchanged canvas", rgb, ["canvas-size:13,9,5,black", "invert-color"],
                    lambda p: keep_outside(p, invert(p), select), select=select))

    # Refused arguments: outside the dialogs' ranges, malformed, missing.
    bad = ["rotate:180.01", "rotate:-180.01", "rotate:181", "rotate:x", "shear:45.01", "shear:-45.01",
           "shear:10,diagonal", "shear:10,2", "shear:10,vertical,1", "resize:0,5", "resize:5,0", "resize:32768,5",
           "resize:5,32768", "resize:5", "resize:-3,5", "canvas-size:10,10,0,white", "canvas-size:10,10,10,white",
           "canvas-size:10,10,5,gray", "canvas-size:0,10,5,white", "canvas-size:10,32768,5,white",
           "canvas-size:10,10,5", "crop:-1,0,5,5", "crop:0,-1,5,5", "crop:0,0,0,5", "crop:0,0,5,0",
           "crop:32767,0,5,5", "crop:0,0,32768,5", "crop:1,2,3", "rotate-90:1", "flip-vertical:0"]
    for op in bad:
        out.append(Case("usage error " + op, tiny, ["rotate-180"], check=refused(op, 2)))
    # A crop rectangle wholly outside the image is refused by the operation.
    for op in ("crop:3,0,1,1", "crop:0,2,1,1", "crop:50,50,4,4"):
        out.append(Case("refused " + op, tiny, ["rotate-180"], check=refused(op, 1)))
    return out
