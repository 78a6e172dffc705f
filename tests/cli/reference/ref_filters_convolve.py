"""The 3x3 kernel filters, edge enhance, emboss, add noise, unsharp mask and
Gaussian blur, worked out from their formulas."""

import math
import os
import sys
import tempfile

from refsupport import (Case, Picture, cdiv, clamp, c_round, keep_outside, load, random_picture, run_cli, save,
                        smooth_picture, inside_selection, through_floater)


# ------------------------------------------------------------------ helpers

def _channels_at(picture, x, y):
    """The channels of pixel (x, y) as a tuple."""
    p = picture.rows[y][x]
    return p if picture.mode == "RGB" else (p,)


def _build(picture, fn):
    """A picture of the same size and mode with fn(x, y) -> channel tuple."""
    out = picture.copy()
    for y in range(picture.height):
        for x in range(picture.width):
            value = tuple(fn(x, y))
            out.rows[y][x] = value if picture.mode == "RGB" else value[0]
    return out


def _planes(picture):
    """One list of rows per channel (red, green, blue, or the gray level)."""
    if picture.mode == "RGB":
        return [[[p[c] for p in row] for row in picture.rows] for c in range(3)]
    return [[list(row) for row in picture.rows]]


def _from_planes(picture, planes):
    out = picture.copy()
    if picture.mode == "RGB":
        out.rows = [list(zip(*rows)) for rows in zip(*planes)]
    else:
        out.rows = [list(row) for row in planes[0]]
    return out


def _padded(plane, s):
    """The plane with s extra rows and columns on every side, each a copy of
    the nearest edge pixel (edge rows and columns repeat)."""
    rows = [[row[0]] * s + row + [row[-1]] * s for row in plane]
    return [rows[0]] * s + rows + [rows[-1]] * s


# --------------------------------------------------------------- 3x3 kernels

def convolve(picture, weights, divisor=1, offset=0):
    """Per channel: (weighted sum of the nine neighbours) / divisor, truncated
    toward zero, plus offset, clamped. Weights in row order from the top-left;
    "top" is the row above."""
    taps = [(w, j, i) for w, (j, i) in zip(weights, [(j, i) for j in range(3) for i in range(3)]) if w]
    planes = []
    for plane in _planes(picture):
        pad = _padded(plane, 1)
        planes.append([[clamp(cdiv(sum(w * pad[y + j][x + i] for w, j, i in taps), divisor) + offset)
                        for x in range(picture.width)] for y in range(picture.height)])
    return _from_planes(picture, planes)


FIXED = {
    "blur": (24, [1, 2, 1, 2, 12, 2, 1, 2, 1]),
    "blur-more": (14, [1, 2, 1, 2, 2, 2, 1, 2, 1]),
    "sharpen": (7, [-1, -2, -1, -2, 19, -2, -1, -2, -1]),
    "sharpen-more": (1, [-1, -1, -1, -1, 9, -1, -1, -1, -1]),
}

LAPLACIAN_1 = [-1, -1, -1, -1, 8, -1, -1, -1, -1]

# Each edge command's list, in list order (divisor 1, offset 0).
EDGE = {
    "laplacian": [
        ("Filter 1", LAPLACIAN_1),
        ("Filter 2", [0, -1, 0, -1, 4, -1, 0, -1, 0]),
        ("Filter 3", [1, -2, 1, -2, 4, -2, 1, -2, 1]),
    ],
    "sobel": [
        ("Up", [1, 2, 1, 0, 0, 0, -1, -2, -1]),
        ("Down", [-1, -2, -1, 0, 0, 0, 1, 2, 1]),
        ("Left", [1, 0, -1, 2, 0, -2, 1, 0, -1]),
        ("Top", [-1, 0, 1, -2, 0, 2, -1, 0, 1]),
    ],
    "prewitt": [
        ("North", [-1, -1, -1, 1, -2, 1, 1, 1, 1]),
        ("North-East", [1, -1, -1, 1, -2, -1, 1, 1, 1]),
        ("East", [1, 1, -1, 1, -2, -1, 1, 1, -1]),
        ("South-East", [1, 1, 1, 1, -2, -1, 1, -1, -1]),
        ("South", [1, 1, 1, 1, -2, 1, -1, -1, -1]),
        ("South-West", [1, 1, 1, -1, -2, 1, -1, -1, 1]),
        ("West", [-1, 1, 1, -1, -2, 1, -1, 1, 1]),
        ("North-West", [-1, -1, 1, -1, -2, 1, 1, 1, 1]),
    ],
    "line-segment": [
        ("Horizontal", [-1, -1, -1, 2, 2, 2, -1, -1, -1]),
        ("Vertical", [-1, 2, -1, -1, 2, -1, -1, 2, -1]),
        ("Left to Right", [-1, -1, 2, -1, 2, -1, 2, -1, -1]),
        ("Right to Left", [2, -1, -1, -1, 2, -1, -1, -1, 2]),
    ],
    "shift-difference": [
        ("Diagonal", [-1, 0, 0, 0, 1, 0, 0, 0, 0]),
        ("Horizontal", [0, -1, 0, 0, 1, 0, 0, 0, 0]),
        ("Vertical", [0, 0, 0, -1, 1, 0, 0, 0, 0]),
    ],
}

# Emboss by direction: +1 on the named side of the centre, -1 opposite.
EMBOSS = [
    ("North", [0, 1, 0, 0, 0, 0, 0, -1, 0]),
    ("North-East", [0, 0, 1, 0, 0, 0, -1, 0, 0]),
    ("East", [0, 0, 0, -1, 0, 1, 0, 0, 0]),
    ("South-East", [-1, 0, 0, 0, 0, 0, 0, 0, 1]),
    ("South", [0, -1, 0, 0, 0, 0, 0, 1, 0]),
    ("South-West", [0, 0, -1, 0, 0, 0, 1, 0, 0]),
    ("West", [0, 0, 0, 1, 0, -1, 0, 0, 0]),
    ("North-West", [1, 0, 0, 0, 0, 0, 0, 0, -1]),
]


def emboss(picture, level, direction):
    return convolve(picture, EMBOSS[direction][1], 1, level * 128 // 100)


def edge_enhance(picture, level):
    """The Laplacian (Filter 1) of the input added back with the weight
    amount = level x 255 / 100: min(255, (edge x amount + input x 255) / 255)."""
    amount = level * 255 // 100
    edges = _planes(convolve(picture, LAPLACIAN_1))
    planes = [[[min(255, (e * amount + v * 255) // 255) for e, v in zip(erow, vrow)]
               for erow, vrow in zip(eplane, vplane)] for eplane, vplane in zip(edges, _planes(picture))]
    return _from_planes(picture, planes)


# ------------------------------------------------------------ unsharp mask

def window_averages(plane, s):
    """The truncated mean of the (2s + 1)^2 window around every pixel, edge
    pixels repeated (by a table of running sums over the padded plane)."""
    pad = _padded(plane, s)
    side = 2 * s + 1
    height, width = len(plane), len(plane[0])
    # table[y][x] = sum of pad[0..y-1][0..x-1]
    table = [[0] * (len(pad[0]) + 1)]
    for row in pad:
        line, running = [0], 0
        for v in row:
            running += v
            line.append(running)
        table.append([a + b for a, b in zip(table[-1], line)])
    n = side * side
    return [[(table[y + side][x + side] - table[y][x + side] - table[y + side][x] + table[y][x]) // n
             for x in range(width)] for y in range(height)]


def unsharp_mask(picture, amount, radius, threshold):
    """A pixel whose channels are all within `threshold` of their window mean
    stays; otherwise every channel becomes clamp(v + (v - mean) x amount /
    100), the division truncating toward zero."""
    if radius == 0:
        return picture.copy()
    planes = _planes(picture)
    means = [window_averages(plane, radius) for plane in planes]
    out = [[list(row) for row in plane] for plane in planes]
    for y in range(picture.height):
        for x in range(picture.width):
            values = [plane[y][x] for plane in planes]
            avgs = [mean[y][x] for mean in means]
            if all(abs(v - a) <= threshold for v, a in zip(values, avgs)):
                continue
            for c, (v, a) in enumerate(zip(values, avgs)):
                out[c][y][x] = clamp(v + cdiv((v - a) * amount, 100))
    return _from_planes(picture, out)


# ----------------------------------------------------------- Gaussian blur

def gaussian_weights(sigma):
    """2r + 1 integer weights summing to 65536 (w[-r] first), r = ceil(3 sigma):
    w[k] = round(65536 g(k) / G) off the centre, g(k) = exp(-k^2 / (2 sigma^2)),
    G the sum of g over -r..r, and the centre takes what is left. Empty below
    sigma 0.1, where the blur does nothing."""
    if sigma < 0.1:
        return []
    r = math.ceil(3 * sigma)
    g = [math.exp(-(k * k) / (2 * sigma * sigma)) for k in range(-r, r + 1)]
    total = sum(g)
    w = [c_round(65536 * v / total) for v in g]
    w[r] = 65536 - (sum(w) - w[r])
    return w


def gaussian_blur(picture, sigma):
    """Separable, edge pixels repeated: across each row into 16-bit values
    (sum + 128) >> 8, then down each column (sum + 2^23) >> 24."""
    w = gaussian_weights(sigma)
    if not w:
        return picture.copy()
    r = len(w) // 2
    taps = list(enumerate(w))
    planes = []
    for plane in _planes(picture):
        across = []
        for row in _padded(plane, r)[r:r + picture.height]:
            across.append([(sum(wk * row[x + k] for k, wk in taps) + 128) >> 8 for x in range(picture.width)])
        assert all(v < 65536 for row in across for v in row)
        rows = [across[0]] * r + across + [across[-1]] * r
        columns = list(zip(*rows))
        down = [[(sum(wk * column[y + k] for k, wk in taps) + (1 << 23)) >> 24 for y in range(picture.height)]
                for column in columns]
        planes.append([list(row) for row in zip(*down)])
    return _from_planes(picture, planes)


# --------------------------------------------------------------- add noise

class NoiseGenerator:
    """The documented linear congruential generator: state = state x 214013
    + 2531011 (mod 2^32), number = (state >> 16) AND 0x7FFF, starting at 1 in
    every new process."""

    def __init__(self, state=1):
        self.state = state

    def next(self):
        self.state = (self.state * 214013 + 2531011) & 0xFFFFFFFF
        return (self.state >> 16) & 0x7FFF


def add_noise(picture, level):
    """Every pixel draws r = (number AND 255) x 2 - 255 in raster order from
    the top row; each channel v becomes clamp((r x amount + v x 1000) /
    1000) with amount = level x 10. With a selection the noise runs on the
    selected piece alone (through_floater), so the draws start at its
    corner."""
    amount = level * 10
    generator = NoiseGenerator()
    draws = [[generator.next() for _ in range(picture.width)] for _ in range(picture.height)]

    def pixel(x, y):
        r = (draws[y][x] & 255) * 2 - 255
        return [clamp(cdiv(r * amount + v * 1000, 1000)) for v in _channels_at(picture, x, y)]
    return _build(picture, pixel)


def noise_bounds(level, select=None):
    """What add-noise must do whatever its generator. With d = floor(r x
    amount / 1000) for some odd r in -255..255, (r x amount + v x 1000) / 1000
    truncated and clamped is clamp(v + d): inside the selection every pixel
    must equal clamp(channel + d) for one d shared by its channels (so no
    change exceeds the level's bound), and nothing outside may change."""
    amount = level * 10
    possible = sorted({(r * amount) // 1000 for r in range(-255, 256, 2)})

    def check(source, output_path):
        out = load(output_path)
        if (out.mode, out.width, out.height) != (source.mode, source.width, source.height):
            return "got %s %dx%d" % (out.mode, out.width, out.height)
        changed = 0
        for y in range(source.height):
            for x in range(source.width):
                before, after = _channels_at(source, x, y), _channels_at(out, x, y)
                if not inside_selection(select, x, y):
                    if before != after:
                        return "(%d,%d) outside the selection changed: %s -> %s" % (x, y, before, after)
                    continue
                if not any(tuple(clamp(v + d) for v in before) == after for d in possible):
                    return "(%d,%d): %s -> %s is no noise of level %d" % (x, y, before, after, level)
                changed += after != before
        if amount and changed == 0:
            return "level %d changed nothing" % level
        return None
    return check


# ------------------------------------------------------ argument checking

def _cli():
    """The program under test, as given to check_apply.py with --cli."""
    argv = sys.argv
    for i, a in enumerate(argv):
        if a == "--cli" and i + 1 < len(argv):
            return argv[i + 1]
        if a.startswith("--cli="):
            return a[len("--cli="):]
    return os.environ.get("VIVIDROME_CLI", "vividrome-cli")


BAD_ARGUMENTS = [
    "blur:1", "sharpen-more:0",
    "laplacian:3", "laplacian:-1", "sobel:4", "prewitt:8", "line-segment:4", "shift-difference:3",
    "sobel:Sideways",
    "edge-enhance:101", "edge-enhance:-1",
    "emboss:101,0", "emboss:-1,0", "emboss:50,8", "emboss:50,-1",
    "add-noise:101", "add-noise:-1",
    "unsharp-mask:0,2,2", "unsharp-mask:501,2,2", "unsharp-mask:250,11,2", "unsharp-mask:250,-1,2",
    "unsharp-mask:250,2,256", "unsharp-mask:250,2,-1",
    "gaussian-blur:10.5", "gaussian-blur:-0.5", "gaussian-blur:abc", "gaussian-blur:nan", "gaussian-blur:inf",
    "add-noise:5.5", "emboss:50,0,1",
]


def refuses_bad_arguments(source, output_path):
    """Each out-of-range or malformed operation is a usage error (status 2)
    that writes no output file."""
    with tempfile.TemporaryDirectory(prefix="vivid-ref-args-") as work:
        src = os.path.join(work, "in.bmp")
        save(source, src)
        for op in BAD_ARGUMENTS:
            out = os.path.join(work, "out.bmp")
            code, _, err = run_cli(_cli(), ["apply", src, out, op])
            if code != 2:
                return "%s: exit %d, expected 2 (%s)" % (op, code, err.strip())
            if not err.strip():
                return "%s: usage error without a message" % op
            if os.path.exists(out):
                return "%s: an output file was written" % op
    return None


# ------------------------------------------------------------------- cases

def cases():
    rgb = random_picture("RGB", 19, 13, 31)
    gray = random_picture("L", 17, 11, 32)
    photo = smooth_picture("RGB", 24, 18, 33)
    photo_gray = smooth_picture("L", 21, 15, 34)
    tiny = random_picture("RGB", 1, 1, 35)
    column = random_picture("RGB", 1, 9, 36)
    line = random_picture("L", 11, 1, 37)
    flat = Picture.blank("RGB", 9, 7, (90, 140, 200))
    select = (3, 2, 9, 7)
    out = []

    # Fixed kernels: noise shows every weight; a smooth picture keeps the
    # sharpening kernels away from clamping; degenerate sizes test the edges.
    for name, (divisor, weights) in FIXED.items():
        f = lambda p, d=divisor, w=weights: convolve(p, w, d)
        out.append(Case(name + " rgb", rgb, [name], f))
        out.append(Case(name + " gray", gray, [name], f))
        out.append(Case(name + " smooth", photo, [name], f))
        out.append(Case(name + " 1x1", tiny, [name], f))
        out.append(Case(name + " one column", column, [name], f))
        out.append(Case(name + " one row gray", line, [name], f))
        out.append(Case(name + " flat unchanged", flat, [name], lambda p: p.copy()))
    out.append(Case("blur selection", rgb, ["blur"], lambda p: keep_outside(p, convolve(p, FIXED["blur"][1], 24), select),
                    select=select))
    out.append(Case("sharpen twice", photo, ["sharpen", "sharpen"],
                    lambda p: convolve(convolve(p, FIXED["sharpen"][1], 7), FIXED["sharpen"][1], 7)))

    # Every entry of every edge list, by position.
    for name, entries in EDGE.items():
        for index, (label, weights) in enumerate(entries):
            f = lambda p, w=weights: convolve(p, w)
            out.append(Case("%s %s rgb" % (name, label), rgb, ["%s:%d" % (name, index)], f))
            out.append(Case("%s %s gray" % (name, label), photo_gray, ["%s:%d" % (name, index)], f))
        out.append(Case(name + " flat is black", flat, ["%s:0" % name],
                        lambda p: Picture.blank(p.mode, p.width, p.height, (0, 0, 0))))
    out.append(Case("sobel by entry name", rgb, ["sobel:Top"], lambda p: convolve(p, EDGE["sobel"][3][1])))
    out.append(Case("prewitt selection", photo, ["prewitt:5"],
                    lambda p: keep_outside(p, convolve(p, EDGE["prewitt"][5][1]), select), select=select))
    out.append(Case("line-segment 1x1", tiny, ["line-segment:2"], lambda p: Picture.blank("RGB", 1, 1, (0, 0, 0))))

    # Edge enhance: the ends of the range and a level whose amount truncates.
    for level in (0, 1, 37, 50, 100):
        f = lambda p, l=level: edge_enhance(p, l)
        out.append(Case("edge-enhance %d rgb" % level, photo, ["edge-enhance:%d" % level], f))
        out.append(Case("edge-enhance %d gray" % level, gray, ["edge-enhance:%d" % level], f))
    out.append(Case("edge-enhance selection", rgb, ["edge-enhance:80"],
                    through_floater(lambda p: edge_enhance(p, 80), select), select=select))

    # Emboss: every direction, the ends of the level range (offsets 0 and
    # 128) and a level whose offset truncates.
    for direction, (label, _) in enumerate(EMBOSS):
        f = lambda p, d=direction: emboss(p, 50, d)
        out.append(Case("emboss %s rgb" % label, rgb, ["emboss:50,%d" % direction], f))
        out.append(Case("emboss %s gray" % label, photo_gray, ["emboss:50,%d" % direction], f))
    for level in (0, 33, 100):
        f = lambda p, l=level: emboss(p, l, 3)
        out.append(Case("emboss level %d" % level, photo, ["emboss:%d,3" % level], f))
        out.append(Case("emboss level %d flat" % level, flat, ["emboss:%d,6" % level],
                        lambda p, l=level: Picture.blank("RGB", p.width, p.height, (l * 128 // 100,) * 3)))
    out.append(Case("emboss by entry name", rgb, ["emboss:50,South-West"], lambda p: emboss(p, 50, 5)))
    out.append(Case("emboss selection", photo, ["emboss:70,1"],
                    through_floater(lambda p: emboss(p, 70, 1), select), select=select))
    out.append(Case("emboss selection gray", photo_gray, ["emboss:70,1"],
                    through_floater(lambda p: emboss(p, 70, 1), select), select=select))

    # Add noise: what holds for any generator, then the exact result of the
    # documented generator (each run is a new process, so it starts afresh).
    out.append(Case("add-noise 0 rgb", rgb, ["add-noise:0"], lambda p: p.copy()))
    out.append(Case("add-noise 0 gray", gray, ["add-noise:0"], lambda p: p.copy()))
    for level in (1, 37, 100):
        out.append(Case("add-noise %d bounds rgb" % level, photo, ["add-noise:%d" % level], check=noise_bounds(level)))
        out.append(Case("add-noise %d bounds gray" % level, photo_gray, ["add-noise:%d" % level],
                        check=noise_bounds(level)))
    out.append(Case("add-noise bounds selection", photo, ["add-noise:60"], check=noise_bounds(60, select),
                    select=select))
    out.append(Case("add-noise bounds selection gray", photo_gray, ["add-noise:60"], check=noise_bounds(60, select),
                    select=select))
    for level in (1, 37, 100):
        out.append(Case("add-noise %d exact rgb" % level, photo, ["add-noise:%d" % level],
                        lambda p, l=level: add_noise(p, l)))
        out.append(Case("add-noise %d exact gray" % level, photo_gray, ["add-noise:%d" % level],
                        lambda p, l=level: add_noise(p, l)))
    out.append(Case("add-noise exact selection", rgb, ["add-noise:45"], through_floater(lambda p: add_noise(p, 45), select),
                    select=select))
    out.append(Case("add-noise exact selection gray", gray, ["add-noise:45"], through_floater(lambda p: add_noise(p, 45), select),
                    select=select))
    # Two operations in one run: the second carries on from the first's state.
    def noise_twice(p):
        generator = NoiseGenerator()
        q = p
        for _ in range(2):
            draws = [[generator.next() for _ in range(p.width)] for _ in range(p.height)]
            q = _build(q, lambda x, y, q=q, draws=draws: [
                clamp(cdiv(((draws[y][x] & 255) * 2 - 255) * 500 + v * 1000, 1000)) for v in _channels_at(q, x, y)])
        return q
    out.append(Case("add-noise twice continues", photo_gray, ["add-noise:50", "add-noise:50"], noise_twice))

    # Unsharp mask: range ends of every parameter; radius 10 makes windows
    # wider than the picture (all edge repetition).
    for amount, radius, threshold in ((250, 2, 2), (1, 1, 0), (500, 1, 0), (500, 10, 0), (100, 3, 20),
                                      (250, 2, 255), (250, 0, 2), (73, 2, 5)):
        f = lambda p, a=amount, r=radius, t=threshold: unsharp_mask(p, a, r, t)
        op = "unsharp-mask:%d,%d,%d" % (amount, radius, threshold)
        out.append(Case(op + " rgb", photo, [op], f))
        out.append(Case(op + " gray", photo_gray, [op], f))
    out.append(Case("unsharp-mask 1x1", tiny, ["unsharp-mask:500,3,0"], lambda p: p.copy()))
    out.append(Case("unsharp-mask one row gray", line, ["unsharp-mask:300,1,4"], lambda p: unsharp_mask(p, 300, 1, 4)))
    out.append(Case("unsharp-mask noise", rgb, ["unsharp-mask:180,1,30"], lambda p: unsharp_mask(p, 180, 1, 30)))
    out.append(Case("unsharp-mask selection", photo, ["unsharp-mask:300,2,1"],
                    through_floater(lambda p: unsharp_mask(p, 300, 2, 1), select), select=select))

    # Gaussian blur: below 0.1 nothing happens; 0.1 is the smallest radius
    # that runs (its outer weights round to 0); 10 is the largest.
    for radius in ("0", "0.05", "0.1", "0.5", "1", "1.5", "2.7", "10"):
        f = lambda p, r=float(radius): gaussian_blur(p, r)
        out.append(Case("gaussian-blur %s rgb" % radius, rgb, ["gaussian-blur:%s" % radius], f))
        out.append(Case("gaussian-blur %s gray" % radius, photo_gray, ["gaussian-blur:%s" % radius], f))
    out.append(Case("gaussian-blur 1x1", tiny, ["gaussian-blur:4"], lambda p: p.copy()))
    out.append(Case("gaussian-blur flat unchanged", flat, ["gaussian-blur:3.3"], lambda p: p.copy()))
    out.append(Case("gaussian-blur one column", column, ["gaussian-blur:1.2"], lambda p: gaussian_blur(p, 1.2)))
    out.append(Case("gaussian-blur selection", photo, ["gaussian-blur:2"],
                    through_floater(lambda p: gaussian_blur(p, 2.0), select), select=select))
    out.append(Case("gaussian-blur selection gray", photo_gray, ["gaussian-blur:2"],
                    through_floater(lambda p: gaussian_blur(p, 2.0), select), select=select))
    out.append(Case("unsharp-mask selection gray", photo_gray, ["unsharp-mask:300,2,1"],
                    through_floater(lambda p: unsharp_mask(p, 300, 2, 1), select), select=select))

    # Rows long enough for the wide-word loops and their tails, and pictures
    # large enough that the work is split into two row bands on two threads
    # (progress reporting is off when stderr is not a terminal): the result
    # must not depend on where the bands meet.
    wide = random_picture("RGB", 97, 5, 38)
    wide_gray = random_picture("L", 131, 4, 39)
    large = random_picture("RGB", 320, 300, 40)
    large_gray = random_picture("L", 520, 510, 41)
    medium = smooth_picture("RGB", 150, 150, 42)
    for label, source in (("wide", wide), ("wide gray", wide_gray), ("large", large)):
        out.append(Case("blur " + label, source, ["blur"], lambda p: convolve(p, FIXED["blur"][1], 24)))
        out.append(Case("emboss " + label, source, ["emboss:100,5"], lambda p: emboss(p, 100, 5)))
        out.append(Case("edge-enhance " + label, source, ["edge-enhance:64"], lambda p: edge_enhance(p, 64)))
        out.append(Case("add-noise " + label, source, ["add-noise:100"], lambda p: add_noise(p, 100)))
        out.append(Case("unsharp-mask " + label, source, ["unsharp-mask:400,2,3"],
                        lambda p: unsharp_mask(p, 400, 2, 3)))
    # Three rows split 1 + 2: every window of one band reaches into the other
    # and past the picture's edge.
    strip = random_picture("RGB", 60000, 3, 43)
    out.append(Case("blur strip", strip, ["blur"], lambda p: convolve(p, FIXED["blur"][1], 24)))
    out.append(Case("add-noise strip", strip, ["add-noise:100"], lambda p: add_noise(p, 100)))
    out.append(Case("unsharp-mask strip", strip, ["unsharp-mask:500,2,0"], lambda p: unsharp_mask(p, 500, 2, 0)))
    out.append(Case("gaussian-blur strip", random_picture("RGB", 19500, 3, 44), ["gaussian-blur:3"],
                    lambda p: gaussian_blur(p, 3.0)))
    out.append(Case("gaussian-blur wide", wide, ["gaussian-blur:1.3"], lambda p: gaussian_blur(p, 1.3)))
    out.append(Case("gaussian-blur wide gray", wide_gray, ["gaussian-blur:0.7"], lambda p: gaussian_blur(p, 0.7)))
    out.append(Case("gaussian-blur large", medium, ["gaussian-blur:10"], lambda p: gaussian_blur(p, 10.0)))
    out.append(Case("add-noise large gray", large_gray, ["add-noise:70"], lambda p: add_noise(p, 70)))
    out.append(Case("add-noise large selection", large, ["add-noise:100"],
                    through_floater(lambda p: add_noise(p, 100), (17, 151, 290, 100)), select=(17, 151, 290, 100)))

    # An 8-bit BMP always loads as a palette image, even with a gray-ramp
    # table; "mode:gray" first turns it into the gray kind with the same
    # levels (the luminance of (i, i, i) is i), so that the gray row kernels
    # run.
    for case in out:
        if case.source.mode == "L":
            case.ops = ["mode:gray"] + case.ops

    # Filtering colour-table indices has no meaning: palette images stay.
    for op in ("blur", "sharpen-more", "prewitt:2", "edge-enhance:100", "emboss:50,0", "unsharp-mask:500,1,0",
               "gaussian-blur:2"):
        out.append(Case(op + " palette unchanged", photo_gray, [op], lambda p: p.copy()))

    # Usage errors: checked beside a valid run of the same source.
    out.append(Case("out-of-range arguments are usage errors", tiny, ["blur"], check=refuses_bad_arguments))
    return out
