"""Window filters (average, median, minimum, maximum, despeckle), mosaic,
posterize, solarize, and grey-level dilation and erosion, worked out from
their formulas.

Every filter works per channel: a picture is split into planes (one for
gray, three for RGB), each plane is filtered on its own, and the planes are
joined again. Filters read only the unfiltered input. With a selection,
dilation and erosion also read the pixels outside it and write only inside
it; the others (the filters with a preview) work on the selected piece
alone, lifted out of the picture, so near its edge they see the piece's
edge pixels repeated instead of the pixels around it.
"""

import argparse
import os
import sys

from refsupport import Case, Picture, keep_outside, random_picture, run_cli, smooth_picture, through_floater


# ------------------------------------------------------------ planes


def planes_of(picture):
    if picture.mode == "RGB":
        return [[[p[c] for p in row] for row in picture.rows] for c in range(3)]
    return [[list(row) for row in picture.rows]]


def join_planes(picture, planes):
    if picture.mode == "RGB":
        rows = [[(planes[0][y][x], planes[1][y][x], planes[2][y][x]) for x in range(picture.width)]
                for y in range(picture.height)]
    else:
        rows = [list(row) for row in planes[0]]
    return Picture(picture.mode, picture.width, picture.height, rows)


def per_plane(fn):
    """Turns fn(plane, width, height) -> plane into a picture filter."""
    return lambda picture: join_planes(
        picture, [fn(plane, picture.width, picture.height) for plane in planes_of(picture)])


def clamped(plane, width, height):
    """Reads plane[y][x], with coordinates beyond an edge moved onto it (the
    edge rows and columns repeat outward)."""
    def at(x, y):
        return plane[min(max(y, 0), height - 1)][min(max(x, 0), width - 1)]
    return at


# ------------------------------------------------------ square windows


def window_values(at, x, y, s):
    return [at(x + dx, y + dy) for dy in range(-s, s + 1) for dx in range(-s, s + 1)]


def average(s):
    """Window mean, truncated. The window sum is built as a sum of row sums
    (the sum of the edge-repeated values does not depend on the order), so
    size 50 stays quick on small pictures."""
    if s == 0:
        return lambda picture: picture.copy()
    cells = (2 * s + 1) ** 2

    def plane_fn(plane, width, height):
        at = clamped(plane, width, height)
        across = [[sum(at(x + dx, y) for dx in range(-s, s + 1)) for x in range(width)] for y in range(height)]
        out = []
        for y in range(height):
            out.append([sum(across[min(max(y + dy, 0), height - 1)][x] for dy in range(-s, s + 1)) // cells
                        for x in range(width)])
        return out
    return per_plane(plane_fn)


def ranked(s, pick):
    """A rank filter: pick(values) over the (2s + 1)^2 window."""
    if s == 0:
        return lambda picture: picture.copy()

    def plane_fn(plane, width, height):
        at = clamped(plane, width, height)
        return [[pick(window_values(at, x, y, s)) for x in range(width)] for y in range(height)]
    return per_plane(plane_fn)


def median(s):
    return ranked(s, lambda values: sorted(values)[len(values) // 2])


def minimum(s):
    return ranked(s, min)


def maximum(s):
    return ranked(s, max)


def despeckle(s):
    """Pseudo-median over the horizontal, vertical and both diagonal lines of
    2s + 1 pixels through each pixel. Along a line, the runs of s + 1
    consecutive values give maximin (largest run minimum) and minimax
    (smallest run maximum). lo = largest maximin over the four lines, hi =
    smallest minimax; the pixel becomes (lo + hi) / 2 truncated. Positions
    beyond an edge are moved onto it along each axis separately."""
    if s == 0:
        return lambda picture: picture.copy()
    directions = ((1, 0), (0, 1), (1, 1), (1, -1))

    def plane_fn(plane, width, height):
        at = clamped(plane, width, height)
        out = []
        for y in range(height):
            row = []
            for x in range(width):
                lo, hi = -1, 256
                for dx, dy in directions:
                    line = [at(x + t * dx, y + t * dy) for t in range(-s, s + 1)]
                    runs = [line[j:j + s + 1] for j in range(s + 1)]
                    lo = max(lo, max(min(run) for run in runs))
                    hi = min(hi, min(max(run) for run in runs))
                row.append((lo + hi) // 2)
            out.append(row)
        return out
    return per_plane(plane_fn)


# ---------------------------------------------------------------- mosaic


def mosaic(n):
    """Blocks of n x n from the top-left corner; each pixel of a block
    becomes the block mean (truncated) over n x n cells, cells beyond the
    right or bottom edge repeating the last column or row."""
    def plane_fn(plane, width, height):
        at = clamped(plane, width, height)
        out = [[0] * width for _ in range(height)]
        for by in range(0, height, n):
            for bx in range(0, width, n):
                total = sum(at(bx + i, by + j) for j in range(n) for i in range(n))
                for y in range(by, min(by + n, height)):
                    for x in range(bx, min(bx + n, width)):
                        out[y][x] = total // (n * n)
        return out
    return per_plane(plane_fn)


# --------------------------------------------------------- byte tables


def by_table(table):
    return per_plane(lambda plane, width, height: [[table[v] for v in row] for row in plane])


def posterize(levels):
    steps = levels - 1
    table = [min(255, int(i * steps * 0.003921569 + 0.5) * 255 // steps) for i in range(256)]
    return by_table(table)


def solarize(t):
    table = [(i * t if i < 128 else (255 - i) * t) // 128 for i in range(256)]
    return by_table(table)


# ----------------------------------------------------------- morphology

# Cells (dx, dy) of each structuring element, by list position. The diagonal
# element holds both diagonals, so both diagonal directions grow alike.
ELEMENTS = [
    ("Omnidirectional", [(dx, dy) for dy in (-1, 0, 1) for dx in (-1, 0, 1)]),
    ("Horizontal", [(-1, 0), (0, 0), (1, 0)]),
    ("Vertical", [(0, -1), (0, 0), (0, 1)]),
    ("Crosss", [(0, -1), (-1, 0), (0, 0), (1, 0), (0, 1)]),
    ("Diagonal", [(-1, -1), (1, -1), (0, 0), (-1, 1), (1, 1)]),
]


def morphology(element, pick, start, border):
    """pick (max or min) of start and the element's cells around each pixel;
    cells outside the picture count as border."""
    cells = ELEMENTS[element][1]

    def plane_fn(plane, width, height):
        def at(x, y):
            return plane[y][x] if 0 <= x < width and 0 <= y < height else border
        return [[pick([start] + [at(x + dx, y + dy) for dx, dy in cells]) for x in range(width)]
                for y in range(height)]
    return per_plane(plane_fn)


def dilation(element):
    # The command counts cells outside the picture as 0 and starts at 0.
    return morphology(element, max, 0, 0)


def erosion(element):
    # The command counts cells outside the picture as 255 (the picture's
    # edge does not erode) and starts at 255.
    return morphology(element, min, 255, 255)


# ------------------------------------------------------------ pictures


def speck_picture(mode, width, height, seed):
    """Smooth ground with isolated bright and dark specks and one-pixel lines:
    the shapes the rank filters and the morphology exist for."""
    picture = smooth_picture(mode, width, height, seed)
    bright = (255, 255, 255) if mode == "RGB" else 255
    dark = (0, 0, 0) if mode == "RGB" else 0
    for x, y, v in ((3, 3, bright), (10, 4, dark), (0, 0, bright), (width - 1, height - 1, dark),
                    (width - 1, 5, bright), (7, height - 1, dark)):
        picture.rows[y][x] = v
    for x in range(4, width - 4):
        picture.rows[height // 2][x] = bright
    for y in range(2, height - 2):
        picture.rows[y][width // 2 + 3] = dark
    return picture


def dot_picture(mode, width, height):
    """Dark ground with single bright pixels, one in the middle and one on
    each edge and corner: dilation draws the element around each."""
    picture = Picture.blank(mode, width, height, (20, 40, 60) if mode == "RGB" else 30)
    bright = (250, 200, 150) if mode == "RGB" else 240
    for x, y in ((width // 2, height // 2), (0, 0), (width - 1, 0), (0, height - 1), (width - 1, height - 1),
                 (width // 2, 0), (0, height // 2)):
        picture.rows[y][x] = bright
    return picture


def negative(picture):
    """The picture with every channel inverted (bright dots become dark)."""
    if picture.mode == "RGB":
        rows = [[tuple(255 - c for c in p) for p in row] for row in picture.rows]
    else:
        rows = [[255 - p for p in row] for row in picture.rows]
    return Picture(picture.mode, picture.width, picture.height, rows)


# ------------------------------------------------------- usage errors

# Each of these is outside its dialog's range or list; the command must stop
# with a usage error before writing anything.
BAD_OPERATIONS = [
    ["average:51"], ["average:-1"], ["average:2.5"],
    ["median:11"], ["minimum:11"], ["maximum:11"], ["minimum:-1"],
    ["despeckle:11"], ["despeckle:-1"],
    ["mosaic:1"], ["mosaic:65"], ["mosaic:0"],
    ["posterize:1"], ["posterize:65"],
    ["solarize:256"], ["solarize:-1"],
    ["dilation:5"], ["dilation:-1"], ["erosion:5"], ["erosion:Cross"],
    # A valid operation before the bad one must not get its result saved.
    ["median:1", "posterize:65"],
]


def cli_path():
    """The command line under test, as given to the driver (--cli)."""
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--cli")
    known, _ = parser.parse_known_args(sys.argv[1:])
    return known.cli


def check_usage_errors(_source, output_path):
    work = os.path.dirname(output_path)
    source = os.path.join(work, "in.bmp")
    target = os.path.join(work, "refused.bmp")
    problems = []
    for ops in BAD_OPERATIONS:
        if os.path.exists(target):
            os.remove(target)
        code, _, err = run_cli(cli_path(), ["apply", source, target] + ops)
        if code != 2:
            problems.append("%s: exit %d, expected 2 (%s)" % (" ".join(ops), code, err.strip()))
        elif not err.strip():
            problems.append("%s: no message on stderr" % " ".join(ops))
        if os.path.exists(target):
            problems.append("%s: wrote an output file" % " ".join(ops))
    return "\n  ".join(problems) or None


# ---------------------------------------------------------------- cases


def cases():
    rgb = random_picture("RGB", 23, 17, 31)
    gray = random_picture("L", 19, 13, 32)
    specks = speck_picture("RGB", 21, 15, 33)
    gray_specks = speck_picture("L", 18, 14, 34)
    out = []
    # The filters that run on the selected piece alone.
    PIECE_FILTERS = {"average", "median", "minimum", "maximum", "despeckle", "mosaic", "posterize", "solarize"}

    def add(label, source, ops, expect, select=None):
        # Gray pictures arrive as 8-bit BMP files, which open as palette
        # images whose table is the gray ramp; "mode:gray" makes them gray
        # images with the same levels (the luminance of (v, v, v) is v), the
        # kind these filters work on.
        # A change of colour mode builds a new bitmap without the selection,
        # so gray pictures go through a selection only as palette images
        # (see the palette cases below).
        if source.mode == "L":
            assert select is None
            ops = ["mode:gray"] + ops
        if select is not None:
            inner = expect
            if ops[0].split(":")[0] in PIECE_FILTERS:
                expect = through_floater(inner, select)
            else:
                expect = lambda p: keep_outside(p, inner(p), select)
        out.append(Case(label, source, ops, expect, select=select))

    # Square windows: size 0 changes nothing, 1 and a middle size, the
    # largest size of each dialog (far larger than these pictures, so nearly
    # every window reaches beyond two edges).
    windows = (("average", average, 50), ("median", median, 10), ("minimum", minimum, 10),
               ("maximum", maximum, 10), ("despeckle", despeckle, 10))
    for name, filter_of, largest in windows:
        for size in (0, 1, 3, largest):
            add("%s %d rgb" % (name, size), specks if size < 3 else rgb, ["%s:%d" % (name, size)],
                filter_of(size))
        add("%s 2 gray" % name, gray_specks, ["%s:2" % name], filter_of(2))
        add("%s %d gray" % (name, largest), gray, ["%s:%d" % (name, largest)], filter_of(largest))
        add("%s 2 selection" % name, rgb, ["%s:2" % name], filter_of(2), select=(4, 3, 11, 8))
    # A selection reaching past the picture's edges: the part inside changes.
    add("median 1 selection over the edge", specks, ["median:1"], median(1), select=(12, 9, 40, 40))
    # Two passes: the second works on the first's output.
    add("despeckle twice", gray_specks, ["despeckle:1", "despeckle:1"],
        lambda p: despeckle(1)(despeckle(1)(p)))
    # A wide, short picture and a narrow, tall one: windows much larger
    # than one side only.
    wide = random_picture("RGB", 40, 3, 35)
    tall = random_picture("L", 2, 30, 36)
    line = random_picture("RGB", 25, 1, 37)
    dot = random_picture("L", 1, 1, 38)
    for name, filter_of, _ in windows:
        add("%s 4 wide" % name, wide, ["%s:4" % name], filter_of(4))
        add("%s 4 tall" % name, tall, ["%s:4" % name], filter_of(4))
        add("%s 2 one row" % name, line, ["%s:2" % name], filter_of(2))
        add("%s 1 one pixel" % name, dot, ["%s:1" % name], filter_of(1))

    # Mosaic: the smallest block, blocks that do not divide the picture,
    # and the largest (one block over the whole picture, its last row and
    # column repeated).
    for n in (2, 3, 5, 64):
        add("mosaic %d rgb" % n, rgb, ["mosaic:%d" % n], mosaic(n))
    for n in (2, 4, 64):
        add("mosaic %d gray" % n, gray, ["mosaic:%d" % n], mosaic(n))
    add("mosaic 4 wide", wide, ["mosaic:4"], mosaic(4))
    add("mosaic 3 one row", line, ["mosaic:3"], mosaic(3))
    add("mosaic 2 one pixel", dot, ["mosaic:2"], mosaic(2))
    # Blocks start at the selected piece's corner and average only its pixels.
    add("mosaic 4 selection", rgb, ["mosaic:4"], mosaic(4), select=(2, 3, 13, 9))

    # Posterize and solarize: every byte value appears in the ramp picture.
    ramp = Picture("L", 32, 8, [[(y * 32 + x) for x in range(32)] for y in range(8)])
    ramp_rgb = Picture("RGB", 32, 8, [[((y * 32 + x), 255 - (y * 32 + x), (x * 8 + y * 37) % 256)
                                        for x in range(32)] for y in range(8)])
    # Every level count over every byte value: the whole table, where a
    # rounding slip near the half-way points would show.
    for levels in range(2, 65):
        add("posterize %d rgb" % levels, ramp_rgb, ["posterize:%d" % levels], posterize(levels))
    for levels in (2, 3, 7, 16, 64):
        add("posterize %d ramp" % levels, ramp, ["posterize:%d" % levels], posterize(levels))
    add("posterize default", ramp_rgb, ["posterize"], posterize(2))
    add("posterize 5 selection", rgb, ["posterize:5"], posterize(5), select=(0, 0, 9, 17))
    for t in (0, 1, 127, 128, 129, 200, 255):
        add("solarize %d ramp" % t, ramp, ["solarize:%d" % t], solarize(t))
        add("solarize %d rgb" % t, ramp_rgb, ["solarize:%d" % t], solarize(t))
    add("solarize default", ramp_rgb, ["solarize"], solarize(127))
    add("solarize 128 selection", rgb, ["solarize:128"], solarize(128), select=(5, 6, 30, 4))
    add("posterize then solarize", gray, ["posterize:4", "solarize:255"], lambda p: solarize(255)(posterize(4)(p)))

    # Dilation and erosion with every element, by list position and by name.
    dots = dot_picture("RGB", 13, 11)
    gray_dots = dot_picture("L", 12, 9)
    for index, (name, _) in enumerate(ELEMENTS):
        add("dilation %s rgb" % name, rgb, ["dilation:%d" % index], dilation(index))
        add("erosion %s rgb" % name, rgb, ["erosion:%d" % index], erosion(index))
        add("dilation %s gray" % name, gray, ["dilation:%s" % name], dilation(index))
        add("erosion %s gray" % name, gray, ["erosion:%s" % name], erosion(index))
        # On single bright (dark) dots the result draws the element itself,
        # clipped at the picture's edges.
        add("dilation %s dots" % name, dots, ["dilation:%d" % index], dilation(index))
        add("erosion %s dots" % name, negative(gray_dots), ["erosion:%d" % index], erosion(index))
        add("dilation %s specks" % name, gray_specks, ["dilation:%d" % index], dilation(index))
        add("erosion %s specks" % name, specks, ["erosion:%d" % index], erosion(index))
        add("dilation %s one row" % name, line, ["dilation:%d" % index], dilation(index))
        add("erosion %s one row" % name, line, ["erosion:%d" % index], erosion(index))
    add("dilation default", rgb, ["dilation"], dilation(0))
    add("dilation Diagonal selection", rgb, ["dilation:4"], dilation(4), select=(3, 2, 10, 7))
    out.append(Case("erosion Crosss selection palette", gray, ["erosion:3"],
                    lambda p: keep_outside(p, erosion(3)(p), (0, 4, 19, 5)), select=(0, 4, 19, 5)))
    add("erosion then dilation", specks, ["erosion:1", "dilation:1"], lambda p: dilation(1)(erosion(1)(p)))

    # A gray BMP taken as it opens is a palette image. Filtering colour-table
    # indices means nothing, so the filters leave it alone; dilation and
    # erosion work on any 8-bit image (masks hold levels too), here on
    # indices that equal the levels of the gray-ramp table.
    for op in ("average:2", "median:1", "minimum:1", "maximum:3", "despeckle:1", "mosaic:3", "posterize:4",
               "solarize:200"):
        out.append(Case("%s leaves a palette image alone" % op, gray, [op], lambda p: p.copy()))
    for index, (name, _) in enumerate(ELEMENTS):
        out.append(Case("dilation %s palette" % name, gray_specks, ["dilation:%d" % index], dilation(index)))
        out.append(Case("erosion %s palette" % name, gray_specks, ["erosion:%d" % index], erosion(index)))

    out.append(Case("out-of-range arguments are usage errors", gray, ["solarize:128"], check=check_usage_errors))
    return out
