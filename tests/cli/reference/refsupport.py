"""Shared pieces of the end-to-end checks of "vividrome-cli apply".

Every family module (ref_*.py next to this file) computes, in plain Python,
what an operation's formula gives for a small picture, and the driver
compares that with what the command line wrote, pixel for pixel.

Pictures are decoded and encoded by Pillow, never by our own code, so a
fault in our codec cannot hide a fault in an operation.
"""

import os
import random
import subprocess

from PIL import Image as PILImage


class Picture:
    """A small raster: `mode` is "RGB" (pixels are (r, g, b) tuples) or "L"
    (pixels are ints); rows[y][x], top row first."""

    def __init__(self, mode, width, height, rows):
        self.mode = mode
        self.width = width
        self.height = height
        self.rows = rows

    def copy(self):
        return Picture(self.mode, self.width, self.height, [list(r) for r in self.rows])

    def pixel(self, x, y):
        return self.rows[y][x]

    @staticmethod
    def blank(mode, width, height, value):
        return Picture(mode, width, height, [[value] * width for _ in range(height)])


def random_picture(mode, width, height, seed):
    """Noise with every channel varying: the strongest test for per-pixel
    formulas. Mode "RGB" or "L"."""
    rng = random.Random(seed)
    if mode == "RGB":
        rows = [[(rng.randrange(256), rng.randrange(256), rng.randrange(256)) for _ in range(width)]
                for _ in range(height)]
    else:
        rows = [[rng.randrange(256) for _ in range(width)] for _ in range(height)]
    return Picture(mode, width, height, rows)


def smooth_picture(mode, width, height, seed):
    """A gradient with mild noise: closer to a photograph, so thresholds and
    rank filters see runs of near values instead of pure noise."""
    rng = random.Random(seed)

    def value(x, y, phase):
        v = (x * 255 // max(width - 1, 1) + y * 97 // max(height - 1, 1) + phase) % 256
        return max(0, min(255, v + rng.randrange(-12, 13)))

    if mode == "RGB":
        rows = [[(value(x, y, 0), value(y, x, 60), value(x + y, y, 130)) for x in range(width)]
                for y in range(height)]
    else:
        rows = [[value(x, y, 0) for x in range(width)] for y in range(height)]
    return Picture(mode, width, height, rows)


def save(picture, path):
    """Writes a BMP with Pillow: 24-bit for RGB, 8-bit with a gray ramp for L."""
    image = PILImage.new(picture.mode, (picture.width, picture.height))
    image.putdata([p for row in picture.rows for p in row])
    image.save(path, format="BMP")


def load(path):
    """Decodes any file Pillow reads. Palette and 1-bit images come back as
    RGB unless every palette entry is gray, in which case as L."""
    with PILImage.open(path) as image:
        image.load()
        if image.mode == "P":
            palette = image.getpalette()[: 3 * 256]
            entries = [tuple(palette[i:i + 3]) for i in range(0, len(palette), 3)]
            used = set(image.getdata())
            if all(entries[i][0] == entries[i][1] == entries[i][2] for i in used if i < len(entries)):
                image = image.convert("L")
            else:
                image = image.convert("RGB")
        elif image.mode == "1":
            image = image.convert("L")
        elif image.mode not in ("RGB", "L"):
            image = image.convert("RGB")
        width, height = image.size
        data = list(image.getdata())
    rows = [data[y * width:(y + 1) * width] for y in range(height)]
    return Picture(image.mode, width, height, rows)


def palette_of(path):
    """The colour table of an indexed file as (r, g, b) tuples, and the
    index of every pixel (rows), or (None, None) for a direct-colour file."""
    with PILImage.open(path) as image:
        image.load()
        if image.mode not in ("P", "1"):
            return None, None
        if image.mode == "1":
            return [(0, 0, 0), (255, 255, 255)], _rows(image.convert("L"), lambda v: 1 if v else 0)
        palette = image.getpalette()
        entries = [tuple(palette[i:i + 3]) for i in range(0, len(palette), 3)]
        return entries, _rows(image, lambda v: v)


def _rows(image, fn):
    width, height = image.size
    data = [fn(v) for v in image.getdata()]
    return [data[y * width:(y + 1) * width] for y in range(height)]


def clamp(v, lo=0, hi=255):
    return lo if v < lo else hi if v > hi else v


def cdiv(a, b):
    """Integer division truncating toward zero, as C does."""
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b > 0) else -q


def c_round(x):
    """Rounds half away from zero, as the C library's round() does."""
    import math
    return int(math.floor(x + 0.5)) if x >= 0 else -int(math.floor(-x + 0.5))


def channels(picture):
    """The channel count of a picture's pixels: 3 for RGB, 1 for L."""
    return 3 if picture.mode == "RGB" else 1


def map_channels(picture, fn):
    """Applies fn(channel_values) -> channel_values per pixel, where a gray
    pixel is handled as a one-element tuple."""
    out = picture.copy()
    for y in range(picture.height):
        for x in range(picture.width):
            p = picture.rows[y][x]
            if picture.mode == "RGB":
                out.rows[y][x] = tuple(fn(p))
            else:
                out.rows[y][x] = fn((p,))[0]
    return out


def inside_selection(select, x, y):
    if select is None:
        return True
    sx, sy, sw, sh = select
    return sx <= x < sx + sw and sy <= y < sy + sh


def keep_outside(before, after, select):
    """The picture a masked operation must leave: `after` inside the
    rectangle, `before` outside it."""
    if select is None:
        return after
    out = before.copy()
    for y in range(before.height):
        for x in range(before.width):
            if inside_selection(select, x, y):
                out.rows[y][x] = after.rows[y][x]
    return out


def selected_box(picture, select):
    """The selection rectangle cut to the picture: (left, top, right, bottom)."""
    sx, sy, sw, sh = select
    return max(sx, 0), max(sy, 0), min(sx + sw, picture.width), min(sy + sh, picture.height)


def cut(picture, left, top, right, bottom):
    return Picture(picture.mode, right - left, bottom - top, [list(row[left:right]) for row in picture.rows[top:bottom]])


def through_floater(fn, select):
    """What an effect that runs on a floater of a rectangular selection
    leaves: the rectangle (cut to the picture) is lifted as a picture of its
    own, so a neighbourhood filter sees its edge pixels repeated there
    instead of the pixels around it, fn is applied to it, and it is put back
    in place; nothing outside changes. A generator restarts at the piece's
    top-left corner."""
    def run(before):
        left, top, right, bottom = selected_box(before, select)
        piece = fn(cut(before, left, top, right, bottom))
        out = before.copy()
        for y in range(top, bottom):
            out.rows[y][left:right] = piece.rows[y - top]
        return out
    return run


def floated_transform(select, fn, fn_alpha=None, trim=False, indexed=False):
    """What a turn, flip, resize, rotation or shear of a rectangular selection
    leaves once the piece is dropped back: the rectangle (cut to the picture)
    and an 8-bit alpha of 255 over it are both transformed (fn; fn_alpha for
    the alpha when it differs, e.g. a palette picture that picks instead of
    mixing), with `trim` cut to the box of the non-zero alpha, and the new
    piece is centred on the old rectangle (left = floor((l + r) / 2) -
    width div 2, likewise down). The pixels under it stay where the piece
    does not reach; where alpha A > 0 a palette picture takes the piece's
    pixel and the others (s x A + d x (255 - A)) div 255 per channel."""
    fn_alpha = fn_alpha or fn

    def run(before):
        left, top, right, bottom = selected_box(before, select)
        piece = fn(cut(before, left, top, right, bottom))
        alpha = fn_alpha(Picture.blank("L", right - left, bottom - top, 255))
        ox = oy = 0
        if trim:
            xs = [x for row in alpha.rows for x, a in enumerate(row) if a]
            ys = [y for y, row in enumerate(alpha.rows) if any(row)]
            ox, oy = min(xs), min(ys)
            piece = cut(piece, ox, oy, max(xs) + 1, max(ys) + 1)
            alpha = cut(alpha, ox, oy, max(xs) + 1, max(ys) + 1)
        at_x = (left + right) // 2 - piece.width // 2
        at_y = (top + bottom) // 2 - piece.height // 2
        out = before.copy()
        for y in range(piece.height):
            for x in range(piece.width):
                a = alpha.rows[y][x]
                tx, ty = at_x + x, at_y + y
                if not a or not (0 <= tx < before.width and 0 <= ty < before.height):
                    continue
                s, d = piece.rows[y][x], out.rows[ty][tx]
                if indexed:
                    out.rows[ty][tx] = s
                elif isinstance(s, tuple):
                    out.rows[ty][tx] = tuple((sv * a + dv * (255 - a)) // 255 for sv, dv in zip(s, d))
                else:
                    out.rows[ty][tx] = (s * a + d * (255 - a)) // 255
        return out
    return run


def run_cli(cli, arguments):
    result = subprocess.run([cli] + arguments, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    return result.returncode, result.stdout.decode(errors="replace"), result.stderr.decode(errors="replace")


def difference(expected, actual, tolerance=0, limit=5):
    """None when the pictures agree (every channel within `tolerance`),
    otherwise a few lines describing the first differences."""
    if (expected.width, expected.height) != (actual.width, actual.height):
        return "size %dx%d, expected %dx%d" % (actual.width, actual.height, expected.width, expected.height)
    if expected.mode != actual.mode:
        return "mode %s, expected %s" % (actual.mode, expected.mode)
    lines = []
    count = 0
    for y in range(expected.height):
        for x in range(expected.width):
            e, a = expected.rows[y][x], actual.rows[y][x]
            ee = e if isinstance(e, tuple) else (e,)
            aa = a if isinstance(a, tuple) else (a,)
            if any(abs(p - q) > tolerance for p, q in zip(ee, aa)):
                count += 1
                if len(lines) < limit:
                    lines.append("  (%d,%d): got %s, expected %s" % (x, y, a, e))
    if not count:
        return None
    return "%d pixels differ:\n%s" % (count, "\n".join(lines))


class Case:
    """One check: the picture `source` is written to a BMP, `ops` (a list of
    operation texts) run on it through the command line, optionally with
    `select` = (x, y, w, h), and the output decoded by Pillow must equal
    `expect(source)` (a Picture). `tolerance` is the largest difference
    per channel allowed; 0 unless the formula itself is given only to a
    rounding the system leaves open, and then say why where the case is
    made. `check`, when given, replaces the comparison: check(source,
    output_path) returns None or a description of the failure."""

    def __init__(self, label, source, ops, expect=None, select=None, tolerance=0, check=None):
        self.label = label
        self.source = source
        self.ops = ops
        self.expect = expect
        self.select = select
        self.tolerance = tolerance
        self.check = check


def run_case(cli, case, work):
    src = os.path.join(work, "in.bmp")
    out = os.path.join(work, "out.bmp")
    if os.path.exists(out):
        os.remove(out)
    save(case.source, src)
    arguments = ["apply", src, out] + list(case.ops)
    if case.select is not None:
        arguments += ["--select", ",".join(str(v) for v in case.select)]
    code, _, err = run_cli(cli, arguments)
    if code != 0:
        return "exit %d: %s" % (code, err.strip())
    if case.check is not None:
        return case.check(load(src), out)
    expected = case.expect(load(src))
    return difference(expected, load(out), case.tolerance)
