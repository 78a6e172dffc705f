"""Tone and colour adjustments, worked out from their formulas.

Images reach the command line as BMP files, and an 8-bit BMP opens as a
palette image even when its table is the gray ramp. The adjustments change
such an image through its colour table, which looks the same as changing the
gray levels; "mode:gray" in front of an operation gives a true gray image.
"""

import atexit
import os
import random
import shutil
import struct
import sys
import tempfile

from refsupport import (Case, Picture, cdiv, clamp, keep_outside, map_channels, palette_of, random_picture,
                        run_cli, save, smooth_picture)


# ---------------------------------------------------------------------------
# Luminance and lookup tables

def luminance(r, g, b):
    return (306 * r + 601 * g + 117 * b + 512) // 1024


def apply_table(table):
    return lambda p: map_channels(p, lambda c: [table[v] for v in c])


def brightness_contrast_table(brightness, contrast):
    b = brightness * 1.275
    c = contrast * 1.275
    d = 255 - 2 * c
    if abs(d) >= 0.5:
        slope = 255 / d
        offset = b - slope * c
        top = slope * 255 + offset
        if offset >= 0:
            in_low, out_low = 0, int(offset)
        else:
            in_low, out_low = int(-offset / slope), 0
        if top >= 255:
            in_high, out_high = int((255 - offset) / slope), 255
        else:
            in_high, out_high = 255, int(top)
    else:
        in_low = int(c)
        in_high = in_low + 1
        out_low, out_high = 0, 255
    table = []
    for v in range(256):
        if v < in_low:
            table.append(out_low)
        elif v <= in_high:
            span = in_high - in_low
            if span <= 0:
                table.append(out_low)
            else:
                table.append(out_low + int((v - in_low) / span * (out_high - out_low)))
        else:
            table.append(out_high)
    return table


def threshold_table(level):
    return [0 if v < level else 255 for v in range(256)]


# ---------------------------------------------------------------------------
# Hue, saturation and lightness, in single precision: every intermediate
# result is rounded to a 32-bit float, as the operation computes it.

def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


SCALE = f32(0.003921569)
THOUSANDTH = f32(0.001)


def to_hsl(red, green, blue):
    r, g, b = f32(red * SCALE), f32(green * SCALE), f32(blue * SCALE)
    high, low = max(r, g, b), min(r, g, b)
    lightness = f32(f32(high + low) * 0.5)
    if high == low:
        return -1.0, 0.0, lightness
    spread = f32(high - low)
    if lightness < 0.5:
        saturation = f32(spread / f32(high + low))
    else:
        saturation = f32(spread / f32(f32(2.0 - high) - low))
    if r == high:
        hue = f32(f32(g - b) / spread)
    elif g == high:
        hue = f32(f32(f32(b - r) / spread) + 2.0)
    else:
        hue = f32(f32(f32(r - g) / spread) + 4.0)
    hue = f32(hue * 60.0)
    if hue < 0:
        hue = f32(hue + 360.0)
    return hue, saturation, lightness


def hue_to_channel(m1, m2, h):
    if h < 0:
        h = f32(h + 360.0)
    elif h > 360:
        h = f32(h - 360.0)
    if h < 60:
        v = f32(m1 + f32(f32(f32(m2 - m1) * h) / 60.0))
    elif h < 180:
        v = m2
    elif h < 240:
        v = f32(m1 + f32(f32(f32(m2 - m1) * f32(240.0 - h)) / 60.0))
    else:
        v = m1
    v = f32(v * 255.0)
    return int(min(max(v, 0.0), 255.0))


def change_hsl(hue_shift, saturation_amount, lightness_amount):
    """The 24-bit HSL adjustment with saturation and lightness in
    thousandths."""
    def pixel(c):
        hue, saturation, lightness = to_hsl(*c)
        lightness = min(max(f32(lightness + f32(lightness_amount * THOUSANDTH)), 0.0), 1.0)
        if hue < 0:
            v = int(f32(lightness * 255.0))
            return [v, v, v]
        hue = f32(hue + hue_shift)
        if hue < 0:
            hue = f32(hue + 360.0)
        elif hue > 360:
            hue = f32(hue - 360.0)
        saturation = min(max(f32(saturation + f32(saturation_amount * THOUSANDTH)), 0.0), 1.0)
        if lightness <= 0.5:
            m2 = f32(lightness * f32(1.0 + saturation))
        else:
            m2 = f32(f32(lightness + saturation) - f32(lightness * saturation))
        m1 = f32(f32(2.0 * lightness) - m2)
        return [hue_to_channel(m1, m2, f32(hue + 120.0)), hue_to_channel(m1, m2, hue),
                hue_to_channel(m1, m2, f32(hue - 120.0))]
    return lambda p: map_channels(p, pixel)


def hue_saturation(h, s, l):
    """The dialog's values: saturation and lightness go in tenths of a
    percent, and all three 0 leave the image alone."""
    if h == 0 and s == 0 and l == 0:
        return lambda p: p.copy()
    return change_hsl(h, s * 10, l * 10)


# ---------------------------------------------------------------------------
# Colour balance

def balance_offsets(red, green, blue):
    return (red - cdiv(green, 2) - cdiv(blue, 2), green - cdiv(red, 2) - cdiv(blue, 2),
            blue - cdiv(red, 2) - cdiv(green, 2))


def color_balance(red, green, blue):
    d = balance_offsets(red, green, blue)
    return lambda p: map_channels(p, lambda c: [clamp(v + dv) for v, dv in zip(c, d)])


def color_balance_cmyk(red, green, blue):
    """On inks: cyan, magenta, yellow lose the red, green, blue offsets."""
    d = balance_offsets(red, green, blue)
    return lambda inks: [clamp(inks[0] - d[0]), clamp(inks[1] - d[1]), clamp(inks[2] - d[2]), inks[3]]


# ---------------------------------------------------------------------------
# Histogram operations; `select` limits what is counted and changed.

def selected(picture, select):
    for y in range(picture.height):
        for x in range(picture.width):
            if select is None or (select[0] <= x < select[0] + select[2] and select[1] <= y < select[1] + select[3]):
                yield x, y


def equalize(select=None):
    def run(p):
        counts = [0] * 256
        area = 0
        for x, y in selected(p, select):
            v = p.rows[y][x]
            counts[luminance(*v) if p.mode == "RGB" else v] += 1
            area += 1
        table = []
        running = 0
        for i in range(256):
            running += counts[i]
            table.append(int(running * 255.0 / area + 0.5))
        out = p.copy()
        for x, y in selected(p, select):
            v = p.rows[y][x]
            if p.mode == "L":
                out.rows[y][x] = table[v]
                continue
            r, g, b = v
            i = cdiv(610 * r - 281 * g - 330 * b + 512, 1024)
            q = cdiv(216 * r - 536 * g + 319 * b + 512, 1024)
            y2 = table[luminance(r, g, b)]
            out.rows[y][x] = (clamp(cdiv(1024 * y2 + 979 * i + 636 * q + 512, 1024)),
                              clamp(cdiv(1024 * y2 - 280 * i - 663 * q + 512, 1024)),
                              clamp(cdiv(1024 * y2 + 2 * (871 * q - 565 * i) + 512, 1024)))
        return out
    return run


def stretch_table(values):
    """The stretch table for the counted channel values, or None when there
    is nothing to stretch (all zero, or every value one level)."""
    lo, hi = min(values), max(values)
    if hi == lo:
        return None
    table = []
    for i in range(256):
        if i < lo:
            table.append(0)
        elif i > hi:
            table.append(255)
        else:
            table.append(int((i - lo) * (255.0 / (hi - lo)) + 0.5))
    return table


def stretch(select=None):
    def run(p):
        values = []
        for x, y in selected(p, select):
            v = p.rows[y][x]
            values.extend(v if p.mode == "RGB" else (v,))
        table = stretch_table(values)
        if table is None:
            return p.copy()
        return keep_outside(p, apply_table(table)(p), select)
    return run


# ---------------------------------------------------------------------------
# Curve files: a 32-byte text, the channel count n, n tables of 256 bytes,
# the point count (17) and per channel an 8-byte header and 17 point
# records (x, y = 255 - output, used).

_curve_dir = tempfile.mkdtemp(prefix="vivid-curves-")
atexit.register(shutil.rmtree, _curve_dir, True)


def curve_file(name, tables, channel_count=None):
    n = len(tables) if channel_count is None else channel_count
    data = bytearray(b"vividrome Curve file 0100" + b" " * 7)
    data += struct.pack("<i", n)
    for table in tables:
        data += bytes(table)
    data += struct.pack("<i", 17)
    for _ in tables:
        data += struct.pack("<ii", 1, 0)
        points = [(0, 255, 1), (255, 0, 1)] + [(0, 0, 0)] * 15
        for x, y, used in points:
            data += struct.pack("<iii", x, y, used)
    path = os.path.join(_curve_dir, name)
    with open(path, "wb") as f:
        f.write(data)
    return path


def curve_tables():
    """Five distinct tables: a steeper composite curve and one for each of
    up to four channels."""
    composite = [clamp(int(128 + (v - 128) * 1.4)) for v in range(256)]
    first = [(v * 7 + 13) % 256 for v in range(256)]
    second = [255 - v for v in range(256)]
    third = [min(255, v // 2 + 100) for v in range(256)]
    fourth = [v // 3 for v in range(256)]
    return composite, first, second, third, fourth


def levels_table(in_low, in_high, out_low, out_high):
    in_high = max(in_high, in_low + 1)
    table = []
    for v in range(256):
        x = min(max(v, in_low), in_high)
        step = (x - in_low) * (out_high - out_low)
        quotient = abs(step) // (in_high - in_low)  # truncation toward zero
        table.append(out_low + (quotient if step >= 0 else -quotient))
    return table


def apply_curves_rgb(tables):
    """Table 0 for all channels, tables 1-3 for red, green, blue; each
    channel's own table first, then the composite."""
    composite = tables[0]
    return lambda p: map_channels(p, lambda c: [composite[tables[i + 1][v]] for i, v in enumerate(c)])


# ---------------------------------------------------------------------------
# Helpers shared with ref_modes.py: cases that run the command line
# themselves (CMYK input, exit statuses).

def cli_path():
    """The command line under test, as given to check_apply.py."""
    for i, argument in enumerate(sys.argv):
        if argument == "--cli" and i + 1 < len(sys.argv):
            return sys.argv[i + 1]
        if argument.startswith("--cli="):
            return argument[len("--cli="):]
    raise RuntimeError("no --cli argument")


_work_dir = tempfile.mkdtemp(prefix="vivid-tone-")
atexit.register(shutil.rmtree, _work_dir, True)


def usage_error_case(label, source, ops, status=2):
    """The command line must exit with `status` and write no output file."""
    def check(picture, _):
        src = os.path.join(_work_dir, "usage-in.bmp")
        out = os.path.join(_work_dir, "usage-out.bmp")
        if os.path.exists(out):
            os.remove(out)
        save(picture, src)
        code, _, err = run_cli(cli_path(), ["apply", src, out] + list(ops))
        if code != status:
            return "exit %d, expected %d (%s)" % (code, status, err.strip())
        if os.path.exists(out):
            return "an output file was written"
        return None
    return Case(label, source, ["invert-bgr"], check=check)


def cmyk_source(width, height, seed):
    """Random inks: rows of (cyan, magenta, yellow, black) tuples."""
    rng = random.Random(seed)
    return [[tuple(rng.randrange(256) for _ in range(4)) for _ in range(width)] for _ in range(height)]


def write_cmyk_bmp(rows, path):
    """A 32-bit BMP whose pixel bytes are cyan, magenta, yellow, black, with
    image size and resolutions 0 (how CMYK images are stored as BMP)."""
    height, width = len(rows), len(rows[0])
    pixels = b"".join(bytes(v for p in row for v in p) for row in reversed(rows))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 32, 0, 0, 0, 0, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    with open(path, "wb") as f:
        f.write(head + info + pixels)


def read_bmp_32(path):
    """The four bytes of every pixel of an uncompressed 32-bit BMP, rows top
    first, or a text describing why the file is not one."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM" or len(data) < 54:
        return "not a BMP file"
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits != 32 or compression != 0:
        return "%d bits per pixel, compression %d: not a 32-bit CMYK file" % (bits, compression)
    rows = []
    for y in range(abs(height)):
        stored = abs(height) - 1 - y if height > 0 else y
        base = offset + stored * width * 4
        rows.append([tuple(data[base + 4 * x:base + 4 * x + 4]) for x in range(width)])
    return rows


def compare_inks(expected, actual):
    if isinstance(actual, str):
        return actual
    if len(actual) != len(expected) or len(actual[0]) != len(expected[0]):
        return "size %dx%d, expected %dx%d" % (len(actual[0]), len(actual), len(expected[0]), len(expected))
    bad = [(x, y) for y in range(len(expected)) for x in range(len(expected[0]))
           if tuple(expected[y][x]) != tuple(actual[y][x])]
    if not bad:
        return None
    lines = ["  (%d,%d): got %s, expected %s" % (x, y, actual[y][x], tuple(expected[y][x])) for x, y in bad[:5]]
    return "%d pixels differ:\n%s" % (len(bad), "\n".join(lines))


def run_cmyk(rows, ops, select=None):
    """Runs the operations on a CMYK image; returns (problem, output path)."""
    return run_on_file(lambda path: write_cmyk_bmp(rows, path), ops, select)


def run_on_file(write, ops, select=None):
    """Runs the operations on the file that write(path) makes; returns
    (problem, output path)."""
    src = os.path.join(_work_dir, "file-in.bmp")
    out = os.path.join(_work_dir, "file-out.bmp")
    if os.path.exists(out):
        os.remove(out)
    write(src)
    arguments = ["apply", src, out] + list(ops)
    if select is not None:
        arguments += ["--select", ",".join(str(v) for v in select)]
    code, _, err = run_cli(cli_path(), arguments)
    if code != 0:
        return "exit %d: %s" % (code, err.strip()), out
    return None, out


def cmyk_case(label, rows, ops, fn, select=None, per_image=False):
    """`fn` maps one pixel's inks to the inks expected (with `per_image`,
    fn(ink rows) gives that mapping for an image). Checked twice: on a CMYK
    image made by "mode:cmyk" from the RGB picture of the inks (black 0),
    and on a CMYK file with the inks themselves; both with `select`."""
    pixel_fn = fn if per_image else (lambda _: fn)
    rgb_rows = [[(255 - c, 255 - m, 255 - y) for c, m, y, _ in row] for row in rows]
    source = Picture("RGB", len(rows[0]), len(rows), rgb_rows)

    def expected_for(ink_rows, select):
        mapping = pixel_fn(ink_rows)
        return [[tuple(mapping(list(p))) if inside(select, x, y) else p for x, p in enumerate(row)]
                for y, row in enumerate(ink_rows)]

    def check(picture, output):
        converted = [[(255 - r, 255 - g, 255 - b, 0) for r, g, b in row] for row in picture.rows]
        problem = compare_inks(expected_for(converted, select), read_bmp_32(output))
        if problem:
            return "after mode:cmyk: " + problem
        problem, out = run_cmyk(rows, ops, select)
        if problem:
            return "CMYK file: " + problem
        problem = compare_inks(expected_for(rows, select), read_bmp_32(out))
        return "CMYK file: " + problem if problem else None
    return Case(label, source, ["mode:cmyk"] + list(ops), check=check, select=select)


def inside(select, x, y):
    return select is None or (select[0] <= x < select[0] + select[2] and select[1] <= y < select[1] + select[3])


# ---------------------------------------------------------------------------

def cases():
    rgb = random_picture("RGB", 23, 9, 1)
    gray = random_picture("L", 17, 6, 2)
    photo = smooth_picture("RGB", 24, 16, 3)
    photo_gray = smooth_picture("L", 21, 13, 4)
    box = (3, 2, 9, 4)
    out = []

    def add(label, source, ops, expect, select=None):
        if select is not None:
            inner = expect
            expect = lambda p, inner=inner: keep_outside(p, inner(p), select)
        out.append(Case(label, source, ops, expect, select=select))

    invert = lambda p: map_channels(p, lambda c: [255 - v for v in c])
    add("invert-color rgb", rgb, ["invert-color"], invert)
    add("invert-color gray", gray, ["invert-color"], invert)
    add("invert-color true gray", gray, ["mode:gray", "invert-color"], invert)
    add("invert-color selection", rgb, ["invert-color"], invert, select=box)
    swap = lambda p: map_channels(p, lambda c: [c[2], c[1], c[0]])
    add("invert-bgr", rgb, ["invert-bgr"], swap)
    add("invert-bgr selection", rgb, ["invert-bgr"], swap, select=box)
    add("invert-bgr gray unchanged", gray, ["mode:gray", "invert-bgr"], lambda p: p.copy())

    # Brightness/contrast: the table is built for every slider combination
    # at the ends and the middle of both ranges.
    for b, c in [(0, 0), (-100, 0), (100, 0), (0, -100), (0, 100), (-100, -100), (100, 100), (-100, 100),
                 (100, -100), (37, -23), (-5, 99), (12, -99), (50, 60)]:
        table = brightness_contrast_table(b, c)
        add("brightness-contrast %d,%d rgb" % (b, c), rgb, ["brightness-contrast:%d,%d" % (b, c)],
            apply_table(table))
    # Every level through the table at the ends of both ranges and next to
    # them, where the slope is steepest and the rounding most fragile.
    ramp = Picture("RGB", 16, 16, [[(16 * y + x, 255 - 16 * y - x, (7 * (16 * y + x)) % 256) for x in range(16)]
                                   for y in range(16)])
    for b in (-100, -99, -1, 1, 99, 100):
        for c in (-100, -99, -1, 1, 98, 99, 100):
            add("brightness-contrast %d,%d ramp" % (b, c), ramp, ["brightness-contrast:%d,%d" % (b, c)],
                apply_table(brightness_contrast_table(b, c)))
    for b, c in [(40, -30), (-100, 100)]:
        table = brightness_contrast_table(b, c)
        add("brightness-contrast %d,%d gray" % (b, c), gray, ["brightness-contrast:%d,%d" % (b, c)],
            apply_table(table))
        add("brightness-contrast %d,%d true gray" % (b, c), gray,
            ["mode:gray", "brightness-contrast:%d,%d" % (b, c)], apply_table(table))
    add("brightness-contrast selection", rgb, ["brightness-contrast:-30,45"],
        apply_table(brightness_contrast_table(-30, 45)), select=box)

    # Threshold: per channel, the level itself is the first white value.
    for level in (1, 2, 128, 200, 255):
        add("threshold %d rgb" % level, rgb, ["threshold:%d" % level], apply_table(threshold_table(level)))
    add("threshold 90 gray", gray, ["threshold:90"], apply_table(threshold_table(90)))
    add("threshold 90 true gray", gray, ["mode:gray", "threshold:90"], apply_table(threshold_table(90)))
    add("threshold selection", photo, ["threshold:128"], apply_table(threshold_table(128)), select=(0, 5, 24, 3))

    # Levels: the composite table for all channels, or one channel's.
    identity = list(range(256))
    for channel, name in enumerate(("rgb", "red", "green", "blue")):
        table = levels_table(30, 200, 10, 240)
        tables = [table if channel == 0 else identity] + [table if channel == i + 1 else identity for i in range(3)]
        add("levels %s" % name, rgb, ["levels:%s,30,200,10,240" % name], apply_curves_rgb(tables))
    add("levels reversed", rgb, ["levels:rgb,0,255,255,0"], apply_table(levels_table(0, 255, 255, 0)))
    add("levels gray", gray, ["mode:gray", "levels:rgb,64,128,0,255"], apply_table(levels_table(64, 128, 0, 255)))

    # Hue/saturation on noise (every hue sector, gray pixels too) and on a
    # picture that holds grays, primaries and near-grays.
    special = Picture("RGB", 8, 3, [
        [(0, 0, 0), (255, 255, 255), (128, 128, 128), (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0),
         (0, 255, 255)],
        [(255, 0, 255), (1, 0, 0), (254, 255, 255), (127, 128, 128), (200, 100, 50), (50, 100, 200),
         (100, 200, 50), (64, 64, 65)],
        [(10, 250, 10), (250, 10, 250), (3, 2, 1), (252, 253, 254), (128, 0, 0), (0, 128, 64), (77, 77, 77),
         (255, 128, 0)]])
    for h, s, l in [(0, 0, 0), (180, 0, 0), (-180, 0, 0), (0, 100, 0), (0, -100, 0), (0, 0, 100),
                    (0, 0, -100), (180, 100, 100), (-180, -100, -100), (73, -41, 19), (-120, 35, -60),
                    (1, 1, 1), (-1, 0, 0)]:
        op = "hue-saturation:%d,%d,%d" % (h, s, l)
        add("hue-saturation %d,%d,%d" % (h, s, l), rgb, [op], hue_saturation(h, s, l))
        add("hue-saturation %d,%d,%d special" % (h, s, l), special, [op], hue_saturation(h, s, l))
    for h in (-179, -90, -1, 1, 90, 179):
        for s, l in [(100, -100), (-100, 100), (-1, 1)]:
            add("hue-saturation %d,%d,%d ramp" % (h, s, l), ramp, ["hue-saturation:%d,%d,%d" % (h, s, l)],
                hue_saturation(h, s, l))
    add("hue-saturation selection", photo, ["hue-saturation:90,20,-10"], hue_saturation(90, 20, -10),
        select=(5, 0, 7, 16))
    add("hue-saturation 0,0,0 gray", gray, ["hue-saturation:0,0,0"], lambda p: p.copy())

    # Colour balance: the sliders pull the other two channels by half.
    for r, g, b in [(0, 0, 0), (100, 0, 0), (0, -100, 0), (0, 0, 100), (100, 100, 100), (-100, -100, -100),
                    (-100, 100, -100), (33, -17, 5), (-1, 1, -1)]:
        add("color-balance %d,%d,%d" % (r, g, b), rgb, ["color-balance:%d,%d,%d" % (r, g, b)],
            color_balance(r, g, b))
    add("color-balance gray unchanged", gray, ["color-balance:50,-20,10"], lambda p: p.copy())
    add("color-balance true gray unchanged", gray, ["mode:gray", "color-balance:50,-20,10"], lambda p: p.copy())
    add("color-balance selection", rgb, ["color-balance:-40,70,15"], color_balance(-40, 70, 15), select=box)

    # Curves from a curve file: composite table, then one per channel.
    tables = curve_tables()
    rgb_curves = curve_file("rgb.crb", tables[:4])
    add("curves rgb", rgb, ["curves:" + rgb_curves], apply_curves_rgb(tables[:4]))
    add("curves selection", rgb, ["curves:" + rgb_curves], apply_curves_rgb(tables[:4]), select=box)
    composite_only = curve_file("gray.crb", tables[:1])
    add("curves composite rgb", rgb, ["curves:" + composite_only], apply_table(tables[0]))
    add("curves composite true gray", gray, ["mode:gray", "curves:" + composite_only], apply_table(tables[0]))
    add("curves composite gray", gray, ["curves:" + composite_only], apply_table(tables[0]))
    # A gray image has one channel: the per-channel tables do not touch it.
    add("curves rgb file on true gray", gray, ["mode:gray", "curves:" + rgb_curves], apply_table(tables[0]))

    # Equalize and stretch work on gray images and 24-bit images; an 8-bit
    # palette image (which a gray BMP opens as) is left alone.
    add("equalize rgb", photo, ["equalize"], equalize())
    add("equalize noise", rgb, ["equalize"], equalize())
    add("equalize true gray", photo_gray, ["mode:gray", "equalize"], equalize())
    add("equalize palette unchanged", photo_gray, ["equalize"], lambda p: p.copy())
    add("equalize selection", photo, ["equalize"], equalize((4, 3, 10, 8)), select=(4, 3, 10, 8))
    flat = Picture.blank("RGB", 9, 5, (90, 90, 90))
    add("equalize one level", flat, ["equalize"], lambda p: Picture.blank("RGB", 9, 5, (255, 255, 255)))
    narrow = map_channels(smooth_picture("RGB", 20, 10, 5), lambda c: [50 + v * 50 // 255 for v in c])
    add("stretch-intensity rgb", narrow, ["stretch-intensity"], stretch())
    add("stretch-intensity noise", rgb, ["stretch-intensity"], stretch())
    narrow_gray = map_channels(photo_gray, lambda c: [30 + v // 3 for v in c])
    add("stretch-intensity true gray", narrow_gray, ["mode:gray", "stretch-intensity"], stretch())
    add("stretch-intensity palette unchanged", narrow_gray, ["stretch-intensity"], lambda p: p.copy())
    add("stretch-intensity selection", narrow, ["stretch-intensity"], stretch((2, 2, 6, 5)), select=(2, 2, 6, 5))
    # One level: no range to stretch, the image stays as it is.
    add("stretch-intensity one level", Picture.blank("L", 7, 4, 77), ["mode:gray", "stretch-intensity"],
        lambda p: p.copy())
    add("stretch-intensity one level rgb", Picture.blank("RGB", 7, 4, (140, 140, 140)), ["stretch-intensity"],
        lambda p: p.copy())
    add("stretch-intensity black", Picture.blank("RGB", 7, 4, (0, 0, 0)), ["stretch-intensity"],
        lambda p: p.copy())

    # The selection still holds after "mode:gray" rebuilds the image.
    gray_box = (2, 1, 8, 3)
    add("invert-color true gray selection", gray, ["mode:gray", "invert-color"], invert, select=gray_box)
    add("brightness-contrast true gray selection", gray, ["mode:gray", "brightness-contrast:45,-70"],
        apply_table(brightness_contrast_table(45, -70)), select=gray_box)
    add("threshold true gray selection", gray, ["mode:gray", "threshold:170"], apply_table(threshold_table(170)),
        select=gray_box)
    add("curves true gray selection", gray, ["mode:gray", "curves:" + composite_only], apply_table(tables[0]),
        select=gray_box)
    add("equalize true gray selection", photo_gray, ["mode:gray", "equalize"], equalize((3, 2, 12, 7)),
        select=(3, 2, 12, 7))
    add("stretch-intensity true gray selection", narrow_gray, ["mode:gray", "stretch-intensity"],
        stretch((0, 4, 21, 5)), select=(0, 4, 21, 5))

    # Selections that leave the image: only the pixels inside both count.
    add("threshold default 128", rgb, ["threshold"], apply_table(threshold_table(128)))
    add("equalize selection past the corner", photo, ["equalize"], equalize((-3, -2, 10, 6)), select=(-3, -2, 10, 6))
    add("stretch-intensity selection past the edge", narrow, ["stretch-intensity"], stretch((15, 4, 10, 10)),
        select=(15, 4, 10, 10))
    add("equalize selection outside", photo, ["equalize"], lambda p: p.copy(), select=(40, 30, 5, 5))
    add("stretch-intensity selection outside", narrow, ["stretch-intensity"], lambda p: p.copy(),
        select=(40, 30, 5, 5))
    add("hue-saturation selection past the edge", photo, ["hue-saturation:-60,50,5"], hue_saturation(-60, 50, 5),
        select=(20, -5, 10, 30))

    # CMYK images (a 32-bit BMP of inks): the tables work on the inks.
    inks = cmyk_source(13, 7, 6)
    table_cmyk = brightness_contrast_table(25, -40)
    out.append(cmyk_case("brightness-contrast cmyk", inks, ["brightness-contrast:25,-40"],
                         lambda k: [table_cmyk[v] for v in k]))
    out.append(cmyk_case("color-balance cmyk", inks, ["color-balance:60,-30,100"], color_balance_cmyk(60, -30, 100)))
    out.append(cmyk_case("color-balance cmyk selection", inks, ["color-balance:-100,20,45"],
                         color_balance_cmyk(-100, 20, 45), select=(2, 1, 5, 4)))
    out.append(cmyk_case("invert-color cmyk", inks, ["invert-color"], lambda k: [255 - v for v in k]))
    def stretch_inks(ink_rows):
        table = stretch_table([v for row in ink_rows for pixel in row for v in pixel])
        return lambda k: [table[v] for v in k]
    narrow_inks = [[tuple(20 + v // 2 for v in p) for p in row] for row in inks]
    out.append(cmyk_case("stretch-intensity cmyk", narrow_inks, ["stretch-intensity"], stretch_inks, per_image=True))
    cmyk_curves = curve_file("cmyk.crb", tables)
    out.append(cmyk_case("curves cmyk", inks, ["curves:" + cmyk_curves],
                         lambda k: [tables[0][tables[i + 1][v]] for i, v in enumerate(k)]))
    out.append(cmyk_case("equalize cmyk unchanged", inks, ["equalize"], lambda k: list(k)))

    # A palette image changes through its colour table; the indices stay.
    def palette_case(label, ops, table_fn):
        def check(source, output):
            # The palette conversion's own reference (imported late: it imports this module).
            from ref_modes import indexed, netscape_palette
            _, indices = indexed(source, "netscape", "none")
            table = [tuple(table_fn(list(c))) for c in netscape_palette()]
            got_table, got_indices = palette_of(output)
            if got_table is None:
                return "the result is not an indexed image"
            for i, (got, want) in enumerate(zip(got_table, table)):
                if tuple(got) != want:
                    return "table entry %d is %s, expected %s" % (i, tuple(got), want)
            if got_indices != indices:
                return "the indices changed"
            return None
        out.append(Case(label, rgb, ["mode:palette:netscape:none"] + ops, check=check))

    palette_case("invert-color palette", ["invert-color"], lambda c: [255 - v for v in c])
    palette_case("invert-color palette twice", ["invert-color", "invert-color"], lambda c: c)
    palette_case("invert-bgr palette", ["invert-bgr"], lambda c: [c[2], c[1], c[0]])
    palette_case("brightness-contrast palette", ["brightness-contrast:-20,35"],
                 lambda c, t=brightness_contrast_table(-20, 35): [t[v] for v in c])
    palette_case("threshold palette", ["threshold:100"], lambda c, t=threshold_table(100): [t[v] for v in c])
    palette_case("curves palette", ["curves:" + rgb_curves],
                 lambda c: [tables[0][tables[i + 1][v]] for i, v in enumerate(c)])
    for op in ["equalize", "stretch-intensity", "color-balance:30,0,-30"]:
        palette_case(op + " palette unchanged", [op], lambda c: c)

    # 1-bit images: the table operations refuse them; invert flips the bits.
    for op in ["brightness-contrast:10,10", "threshold:50", "curves:" + composite_only, "color-balance:5,5,5",
               "hue-saturation:10,0,0"]:
        out.append(usage_error_case("refused on 1-bit " + op.split(":")[0], photo, ["mode:bw:none", op], status=1))
    # Hue/saturation needs a 24-bit image.
    out.append(usage_error_case("hue-saturation refused on gray", gray, ["mode:gray", "hue-saturation:10,0,0"],
                                status=1))
    out.append(usage_error_case("hue-saturation refused on cmyk", rgb, ["mode:cmyk", "hue-saturation:0,0,10"],
                                status=1))

    # Large enough (a megabyte of pixels) to run in row bands on two
    # threads: the bands must join without a seam, and a histogram must
    # count both bands.
    big = smooth_picture("RGB", 640, 560, 21)
    add("hue-saturation large", big, ["hue-saturation:40,-20,10"], hue_saturation(40, -20, 10))
    add("brightness-contrast large", big, ["brightness-contrast:20,30"], apply_table(brightness_contrast_table(20, 30)))
    add("equalize large", big, ["equalize"], equalize())
    add("equalize large selection", big, ["equalize"], equalize((100, 150, 400, 300)), select=(100, 150, 400, 300))
    big_narrow = map_channels(big, lambda c: [40 + v // 2 for v in c])
    add("stretch-intensity large", big_narrow, ["stretch-intensity"], stretch())
    add("color-balance large selection", big, ["color-balance:70,-10,20"], color_balance(70, -10, 20),
        select=(0, 200, 640, 170))
    big_gray = smooth_picture("L", 1030, 1024, 22)
    add("equalize large true gray", big_gray, ["mode:gray", "equalize"], equalize())
    big_inks = cmyk_source(512, 514, 23)
    table_bc = brightness_contrast_table(-15, 25)
    out.append(cmyk_case("brightness-contrast cmyk large", big_inks, ["brightness-contrast:-15,25"],
                         lambda k: [table_bc[v] for v in k], select=(10, 100, 480, 300)))

    # Arguments outside the dialogs' ranges are usage errors.
    for op in ["brightness-contrast:101,0", "brightness-contrast:0,-101", "hue-saturation:181,0,0",
               "hue-saturation:-181,0,0", "hue-saturation:0,101,0", "hue-saturation:0,0,-101",
               "color-balance:101,0,0", "color-balance:0,-101,0", "color-balance:0,0,101", "threshold:0",
               "threshold:256", "brightness-contrast:10,5,3", "brightness-contrast:1.5,0", "color-balance:1,2,3,4", "curves", "equalize:1"]:
        out.append(usage_error_case("usage error " + op, rgb, [op]))
    # A curve file that cannot be read is a failure of the operation.
    missing = os.path.join(_curve_dir, "missing.crb")
    bad = curve_file("bad.crb", tables[:1], channel_count=9)
    truncated = os.path.join(_curve_dir, "short.crb")
    with open(rgb_curves, "rb") as f, open(truncated, "wb") as g:
        g.write(f.read()[:36 + 3 * 256 + 100])
    for label, op in [("missing", "curves:" + missing), ("bad count", "curves:" + bad),
                      ("truncated", "curves:" + truncated)]:
        out.append(usage_error_case("curves " + label, rgb, [op], status=1))
    return out
