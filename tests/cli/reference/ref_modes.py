"""Colour-mode conversions, worked out from their formulas: gray, RGB, CMYK,
black-and-white and 8-bit palette images with the three palettes and the
three dithering methods.

A CMYK result is written as a 32-bit BMP of inks (cyan, magenta, yellow,
black), read here byte by byte; indexed results are checked through their
colour table and the index of every pixel.
"""

import random
import struct

from refsupport import (Case, Picture, cdiv, clamp, difference, load, palette_of, random_picture,
                        smooth_picture)

from ref_tone import cmyk_source, compare_inks, luminance, read_bmp_32, run_cmyk, run_on_file, usage_error_case


# ---------------------------------------------------------------------------
# Per-pixel conversions without colour management

def rgb_to_cmyk(r, g, b):
    return (255 - r, 255 - g, 255 - b, 0)


def cmyk_to_rgb(c, m, y, k):
    return (max(0, 255 - c - k), max(0, 255 - m - k), max(0, 255 - y - k))


# ---------------------------------------------------------------------------
# Ordered dithering: a 16 x 16 threshold matrix grown from a 4 x 4 base.

BASE = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


class OrderedDither:
    def __init__(self, levels):
        self.step = 255.0 / (levels - 1)
        self.istep = int(self.step)
        self.matrix = [[int((BASE[r // 4][c // 4] / 16 + BASE[r % 4][c % 4]) * (self.step - 1) / 16 + 0.5)
                        for c in range(16)] for r in range(16)]

    def level(self, v, x, y):
        q = int(v / self.step)
        rem = v - int(q * self.step)
        return q + (1 if rem > self.matrix[x % 16][y % 16] else 0)

    def value(self, v, x, y):
        return self.level(v, x, y) * self.istep


# ---------------------------------------------------------------------------
# Error diffusion over rows of channel tuples: `choose(wanted, x, y)` gives
# (the colour chosen, the result to keep); the error of each channel goes
# 7/16 right, 3/16 down-left, 5/16 down, 1/16 down-right, each addition
# clamped to 0..255.

def diffuse(rows, choose):
    height, width = len(rows), len(rows[0])
    current = [list(p) for p in rows[0]]
    results = []
    for y in range(height):
        following = [list(p) for p in rows[y + 1]] if y + 1 < height else None
        out_row = []
        for x in range(width):
            wanted = tuple(current[x])
            chosen, result = choose(wanted, x, y)
            out_row.append(result)
            for ch in range(len(wanted)):
                error = wanted[ch] - chosen[ch]

                def spread(buffer, i, k):
                    buffer[i][ch] = clamp(cdiv(buffer[i][ch] * 16 + error * k, 16))
                if x + 1 < width:
                    spread(current, x + 1, 7)
                if following is not None:
                    if x > 0:
                        spread(following, x - 1, 3)
                    spread(following, x, 5)
                    if x + 1 < width:
                        spread(following, x + 1, 1)
        results.append(out_row)
        current = following
    return results


# ---------------------------------------------------------------------------
# Black and white

def bw_bits(picture, dither):
    lum = [[luminance(*colour_of(picture, p)) for p in row] for row in picture.rows]
    if dither == "none":
        return [[1 if v >= 128 else 0 for v in row] for row in lum]
    if dither == "ordered":
        o = OrderedDither(2)
        return [[1 if o.level(v, x, y) else 0 for x, v in enumerate(row)] for y, row in enumerate(lum)]

    def choose(wanted, x, y):
        bit = 1 if wanted[0] >= 128 else 0
        return (255 * bit,), bit
    return diffuse([[(v,) for v in row] for row in lum], choose)


def colour_of(picture, p):
    return p if picture.mode == "RGB" else (p, p, p)


# ---------------------------------------------------------------------------
# Palettes

def netscape_palette():
    levels = [0, 51, 102, 153, 204, 255]
    cube = [(r, g, b) for r in levels for g in levels for b in levels]
    return cube + [(0, 0, 0)] * 40


def system_palette():
    """The default palette of a 256-colour display: the twenty static
    colours at both ends, the 6 x 6 x 6 cube, and twenty grays between the
    cube's gray levels."""
    low = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
           (192, 192, 192), (192, 220, 192), (166, 202, 240)]
    high = [(255, 251, 240), (160, 160, 164), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
            (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
    grays = []
    for i in range(5):
        for j in range(1, 5):
            v = 51 * i + int(51 * j / 5 + 0.5)
            grays.append((v, v, v))
    return low + netscape_palette()[:216] + grays + high


def nearest(palette, colour):
    best, best_distance = 0, None
    for i, entry in enumerate(palette):
        d = sum((a - b) ** 2 for a, b in zip(entry, colour))
        if best_distance is None or d < best_distance:
            best, best_distance = i, d
    return best


class Octree:
    """The adaptive palette builder: leaves at depth 8, folded from the
    deepest level, least-populated leaf first, while more than 512 leaves
    exist; then down to 256 for the palette."""

    class Node:
        def __init__(self, level, parent):
            self.children = [None] * 8
            self.level = level
            self.parent = parent
            self.leaf = level == 7
            self.count = 0
            self.sums = [0, 0, 0]
            self.record = None
            self.entry = None
            self.colour = None

    def __init__(self):
        self.root = Octree.Node(-1, None)
        self.records = [[] for _ in range(8)]  # per level: nodes in recording order (None when dropped)
        self.leaves = 0

    def add(self, colour):
        node = self.root
        for d in range(8):
            i = child_index(colour, d)
            if node.children[i] is None:
                node.children[i] = Octree.Node(d, node)
            node = node.children[i]
            if node.leaf:
                break
        if node.count == 0:
            self.leaves += 1
            self.record(node, colour)
        node.count += 1
        for c in range(3):
            node.sums[c] += colour[c]
        while self.leaves > 512:
            self.reduce()

    def record(self, node, colour):
        node.colour = colour
        node.record = (node.level, len(self.records[node.level]))
        self.records[node.level].append(node)

    def reduce(self):
        level = max(d for d in range(8) if any(n is not None for n in self.records[d]))
        chosen = None
        for n in self.records[level]:
            if n is not None and (chosen is None or n.count < chosen.count):
                chosen = n
        parent = chosen.parent
        for i, child in enumerate(parent.children):
            if child is None:
                continue
            parent.count += child.count
            for c in range(3):
                parent.sums[c] += child.sums[c]
            lv, k = child.record
            self.records[lv][k] = None
            parent.children[i] = None
            self.leaves -= 1
        parent.leaf = True
        self.leaves += 1
        self.record(parent, None)

    def reduce_to(self, leaves):
        while self.leaves > leaves:
            self.reduce()

    def palette(self):
        entries = []

        def walk(node):
            if node.leaf:
                node.entry = len(entries)
                entries.append(tuple(s // node.count for s in node.sums))
                return
            for child in node.children:
                if child is not None:
                    walk(child)
        walk(self.root)
        self.entries = entries
        return entries

    def map(self, colour):
        node = self.root
        for d in range(8):
            node = node.children[child_index(colour, d)]
            if node is None:
                return self.nearest(colour)
            if node.leaf:
                return node.entry
        raise AssertionError("walk ended below a leaf")

    def nearest(self, colour):
        best, best_distance = None, None
        for level in range(8):
            for node in self.records[level]:
                if node is None:
                    continue
                entry = self.entries[node.entry]
                d = sum((a - b) ** 2 for a, b in zip(entry, colour))
                if best_distance is None or d < best_distance:
                    best, best_distance = node.entry, d
                    if d == 0:
                        return best
        return best


def child_index(colour, d):
    bit = 7 - d
    return ((colour[0] >> bit) & 1) * 4 + ((colour[1] >> bit) & 1) * 2 + ((colour[2] >> bit) & 1)


def indexed(picture, palette_name, dither):
    """(the 256 table entries, the index of every pixel)."""
    colours = [[colour_of(picture, p) for p in row] for row in picture.rows]
    if palette_name == "adaptive":
        levels = 18
    else:
        levels = 6
    o = OrderedDither(levels)
    if dither == "ordered":
        mapped = [[tuple(o.value(v, x, y) for v in c) for x, c in enumerate(row)] for y, row in enumerate(colours)]
    else:
        mapped = colours
    if palette_name == "adaptive":
        tree = Octree()
        for row in mapped:
            for c in row:
                tree.add(c)
        tree.reduce_to(256)
        entries = tree.palette()
        table = entries + [(0, 0, 0)] * (256 - len(entries))
        lookup = tree.map
    else:
        table = netscape_palette() if palette_name == "netscape" else system_palette()
        memo = {}

        def lookup(c):
            if c not in memo:
                memo[c] = nearest(table, c)
            return memo[c]
    if dither != "diffusion":
        return table, [[lookup(c) for c in row] for row in mapped]

    def choose(wanted, x, y):
        i = lookup(wanted)
        return table[i], i
    return table, diffuse(colours, choose)


# ---------------------------------------------------------------------------
# Checks of indexed results

def check_indexed(expected_fn):
    def check(source, output):
        table, indices = expected_fn(source)
        got_table, got_indices = palette_of(output)
        if got_table is None:
            return "the result is not an indexed image"
        got_table = list(got_table) + [(0, 0, 0)] * (len(table) - len(got_table))
        wrong = [i for i in range(len(table)) if tuple(got_table[i]) != tuple(table[i])]
        if wrong:
            i = wrong[0]
            return "%d table entries differ, first %d: got %s, expected %s" % (len(wrong), i, got_table[i], table[i])
        bad = [(x, y) for y in range(len(indices)) for x in range(len(indices[0]))
               if indices[y][x] != got_indices[y][x]]
        if bad:
            lines = ["  (%d,%d): got %d, expected %d" % (x, y, got_indices[y][x], indices[y][x]) for x, y in bad[:5]]
            return "%d indices differ:\n%s" % (len(bad), "\n".join(lines))
        return None
    return check


def check_adaptive_invariants(source, output):
    """Properties of the adaptive palette that hold whatever the folding
    order: at most 256 entries in use, and a picture of at most 256 colours
    reproduced exactly."""
    table, indices = palette_of(output)
    if table is None:
        return "the result is not an indexed image"
    colours = {colour_of(source, p) for row in source.rows for p in row}
    if len(colours) > 256:
        return "the source must have at most 256 colours"
    for y, row in enumerate(source.rows):
        for x, p in enumerate(row):
            if tuple(table[indices[y][x]]) != colour_of(source, p):
                return "(%d,%d): entry %d is %s, the pixel was %s" % (x, y, indices[y][x], table[indices[y][x]],
                                                                      colour_of(source, p))
    if len(set(table[:len(colours)])) != len(colours):
        return "the first %d entries are not the %d colours" % (len(colours), len(colours))
    return None


def check_bits(dither):
    def expected(source):
        return [(0, 0, 0), (255, 255, 255)], bw_bits(source, dither)
    return check_indexed(expected)


def check_inks(fn):
    def check(source, output):
        return compare_inks([[fn(colour_of(source, p)) for p in row] for row in source.rows], read_bmp_32(output))
    return check


def gray_of(picture):
    return Picture("L", picture.width, picture.height,
                   [[luminance(*colour_of(picture, p)) for p in row] for row in picture.rows])


def rgb_of(picture):
    return Picture("RGB", picture.width, picture.height,
                   [[colour_of(picture, p) for p in row] for row in picture.rows])


def few_colours(width, height, count, seed):
    rng = random.Random(seed)
    colours = [(rng.randrange(256), rng.randrange(256), rng.randrange(256)) for _ in range(count)]
    return Picture("RGB", width, height, [[colours[rng.randrange(count)] for _ in range(width)]
                                          for _ in range(height)])


def cmyk_file_case(label, inks, ops, check_output):
    """Runs `ops` on a CMYK file of `inks`; check_output(output path) gives
    None or the problem."""
    rows = [[cmyk_to_rgb(*p) for p in row] for row in inks]
    stand_in = Picture("RGB", len(rows[0]), len(rows), rows)

    def check(_, __):
        problem, out = run_cmyk(inks, ops)
        return problem or check_output(out)
    return Case(label, stand_in, ["invert-bgr"], check=check)


# ---------------------------------------------------------------------------

def cases():
    rgb = random_picture("RGB", 21, 11, 11)
    gray = random_picture("L", 19, 9, 12)
    photo = smooth_picture("RGB", 34, 20, 13)
    photo_gray = smooth_picture("L", 24, 18, 14)
    mid = Picture.blank("L", 20, 18, 128)
    white = Picture.blank("RGB", 18, 17, (255, 255, 255))
    out = []

    # Gray.
    out.append(Case("gray from rgb", rgb, ["mode:gray"], gray_of))
    out.append(Case("gray from gray", gray, ["mode:gray"], gray_of))
    out.append(Case("gray from gray twice", gray, ["mode:gray", "mode:gray"], gray_of))
    out.append(Case("gray ignores selection", rgb, ["mode:gray"], gray_of, select=(2, 2, 5, 5)))
    out.append(Case("gray from netscape palette", rgb, ["mode:palette:netscape:none", "mode:gray"],
                    lambda p: Picture("L", p.width, p.height,
                                      [[luminance(*netscape_palette()[i]) for i in row]
                                       for row in indexed(p, "netscape", "none")[1]])))
    out.append(Case("gray from bw", photo, ["mode:bw:none", "mode:gray"],
                    lambda p: Picture("L", p.width, p.height,
                                      [[255 * b for b in row] for row in bw_bits(p, "none")])))
    # Set bits give 255 even when the table says otherwise: invert-color
    # inverts a 1-bit image's bits, not its table.
    out.append(Case("gray from inverted bw", photo, ["mode:bw:none", "invert-color", "mode:gray"],
                    lambda p: Picture("L", p.width, p.height,
                                      [[255 * (1 - b) for b in row] for row in bw_bits(p, "none")])))
    inks = cmyk_source(15, 8, 15)
    inks[0][0] = (200, 0, 0, 100)
    out.append(cmyk_file_case("gray from cmyk", inks, ["mode:gray"], lambda path: compare_gray(
        [[luminance(*cmyk_to_rgb(*p)) for p in row] for row in inks], path)))

    # A set bit is white in gray whatever the table says; the other
    # conversions go through the table.
    out.append(reversed_table_case("gray from bw with reversed table", ["mode:gray"],
                                   lambda bits: Picture("L", 13, 7, [[255 * b for b in row] for row in bits])))
    out.append(reversed_table_case("rgb from bw with reversed table", ["mode:rgb"],
                                   lambda bits: Picture("RGB", 13, 7, [[(255 * (1 - b),) * 3 for b in row]
                                                                       for row in bits])))
    out.append(reversed_table_case("bw from bw with reversed table", ["mode:bw:none", "mode:rgb"],
                                   lambda bits: Picture("RGB", 13, 7, [[(255 * (1 - b),) * 3 for b in row]
                                                                       for row in bits])))

    # RGB.
    out.append(Case("rgb from rgb", rgb, ["mode:rgb"], lambda p: p.copy()))
    out.append(Case("rgb from gray", gray, ["mode:rgb"], rgb_of))
    out.append(Case("rgb from bw", photo, ["mode:bw:ordered", "mode:rgb"],
                    lambda p: Picture("RGB", p.width, p.height,
                                      [[(255 * b,) * 3 for b in row] for row in bw_bits(p, "ordered")])))
    out.append(Case("rgb from system palette", photo, ["mode:palette:system:none", "mode:rgb"],
                    lambda p: Picture("RGB", p.width, p.height,
                                      [[system_palette()[i] for i in row]
                                       for row in indexed(p, "system", "none")[1]])))
    out.append(cmyk_file_case("rgb from cmyk", inks, ["mode:rgb"], lambda path: compare_rgb(
        [[cmyk_to_rgb(*p) for p in row] for row in inks], path)))

    # CMYK.
    out.append(Case("cmyk from rgb", rgb, ["mode:cmyk"], check=check_inks(lambda c: rgb_to_cmyk(*c))))
    out.append(Case("cmyk from gray", gray, ["mode:cmyk"], check=check_inks(lambda c: rgb_to_cmyk(*c))))
    out.append(Case("cmyk and back", rgb, ["mode:cmyk", "mode:rgb"], lambda p: p.copy()))
    out.append(Case("cmyk from bw", photo, ["mode:bw:diffusion", "mode:cmyk"],
                    check=lambda p, path: compare_inks(
                        [[(255 - 255 * b,) * 3 + (0,) for b in row] for row in bw_bits(p, "diffusion")],
                        read_bmp_32(path))))
    out.append(cmyk_file_case("cmyk from cmyk", inks, ["mode:cmyk"],
                              lambda path: compare_inks(inks, read_bmp_32(path))))

    # Black and white, every dithering method, from RGB, gray and CMYK.
    for dither in ("none", "ordered", "diffusion"):
        out.append(Case("bw %s rgb" % dither, photo, ["mode:bw:%s" % dither], check=check_bits(dither)))
        out.append(Case("bw %s noise" % dither, rgb, ["mode:bw:%s" % dither], check=check_bits(dither)))
        out.append(Case("bw %s gray" % dither, photo_gray, ["mode:bw:%s" % dither], check=check_bits(dither)))
        out.append(Case("bw %s true gray" % dither, photo_gray, ["mode:gray", "mode:bw:%s" % dither],
                        check=check_bits(dither)))
        out.append(Case("bw %s mid gray" % dither, mid, ["mode:bw:%s" % dither], check=check_bits(dither)))
        out.append(Case("bw %s white" % dither, white, ["mode:bw:%s" % dither],
                        check=check_indexed(lambda p: ([(0, 0, 0), (255, 255, 255)],
                                                       [[1] * p.width for _ in range(p.height)]))))
        out.append(cmyk_file_case("bw %s cmyk" % dither, inks, ["mode:bw:%s" % dither],
                                  lambda path, dither=dither: check_bits(dither)(
                                      Picture("RGB", len(inks[0]), len(inks),
                                              [[cmyk_to_rgb(*p) for p in row] for row in inks]), path)))
    out.append(Case("bw default is diffusion", photo, ["mode:bw"], check=check_bits("diffusion")))
    out.append(Case("bw by position", photo, ["mode:bw:1"], check=check_bits("ordered")))
    out.append(Case("bw ignores selection", photo, ["mode:bw:none"], check=check_bits("none"), select=(1, 1, 3, 3)))

    # Palette: the fixed palettes under every dithering method.
    for name in ("netscape", "system"):
        for dither in ("none", "ordered", "diffusion"):
            op = "mode:palette:%s:%s" % (name, dither)
            out.append(Case("palette %s %s rgb" % (name, dither), photo, [op],
                            check=check_indexed(lambda p, n=name, d=dither: indexed(p, n, d))))
            out.append(Case("palette %s %s noise" % (name, dither), rgb, [op],
                            check=check_indexed(lambda p, n=name, d=dither: indexed(p, n, d))))
        out.append(Case("palette %s gray" % name, photo_gray, ["mode:palette:%s:none" % name],
                        check=check_indexed(lambda p, n=name: indexed(p, n, "none"))))
        out.append(cmyk_file_case("palette %s cmyk" % name, inks, ["mode:palette:%s:diffusion" % name],
                                  lambda path, n=name: check_indexed(lambda p: indexed(p, n, "diffusion"))(
                                      Picture("RGB", len(inks[0]), len(inks),
                                              [[cmyk_to_rgb(*p) for p in row] for row in inks]), path)))
    out.append(Case("palette netscape default ordered", photo, ["mode:palette:netscape"],
                    check=check_indexed(lambda p: indexed(p, "netscape", "ordered"))))

    # The adaptive palette: the octree worked through in full, and the
    # properties any such tree must have.
    for dither in ("none", "ordered", "diffusion"):
        out.append(Case("palette adaptive %s rgb" % dither, photo, ["mode:palette:adaptive:%s" % dither],
                        check=check_indexed(lambda p, d=dither: indexed(p, "adaptive", d))))
        out.append(Case("palette adaptive %s noise" % dither, random_picture("RGB", 30, 26, 16),
                        ["mode:palette:adaptive:%s" % dither],
                        check=check_indexed(lambda p, d=dither: indexed(p, "adaptive", d))))
    out.append(Case("palette default adaptive ordered", photo, ["mode:palette"],
                    check=check_indexed(lambda p: indexed(p, "adaptive", "ordered"))))
    out.append(Case("palette adaptive gray", photo_gray, ["mode:palette:adaptive:none"],
                    check=check_indexed(lambda p: indexed(p, "adaptive", "none"))))
    for count in (1, 2, 40, 256):
        out.append(Case("palette adaptive %d colours exact" % count, few_colours(32, 24, count, 17 + count),
                        ["mode:palette:adaptive:none"], check=check_adaptive_invariants))
    out.append(Case("palette adaptive 256 colours diffusion exact", few_colours(32, 24, 256, 18),
                    ["mode:palette:adaptive:diffusion"], check=check_adaptive_invariants))
    # From a palette image: the colours of its table are the source.
    for dither in ("none", "ordered", "diffusion"):
        out.append(Case("palette adaptive %s from netscape" % dither, photo,
                        ["mode:palette:netscape:none", "mode:palette:adaptive:%s" % dither],
                        check=check_indexed(lambda p, d=dither: indexed(netscape_picture(p), "adaptive", d))))
    out.append(Case("palette adaptive from netscape exact", photo,
                    ["mode:palette:netscape:diffusion", "mode:palette:adaptive:none"],
                    check=lambda p, path: check_adaptive_invariants(
                        netscape_picture(p, "diffusion"), path)))
    out.append(Case("palette ignores selection", photo, ["mode:palette:netscape:none"],
                    check=check_indexed(lambda p: indexed(p, "netscape", "none")), select=(3, 3, 4, 4)))

    # Large enough (a megabyte of pixels) to be converted in row bands on
    # two threads: the bands must join without a seam.
    big = smooth_picture("RGB", 512, 520, 19)
    out.append(Case("gray large", big, ["mode:gray"], gray_of))
    out.append(Case("cmyk large", big, ["mode:cmyk"], check=check_inks(lambda c: rgb_to_cmyk(*c))))
    out.append(Case("bw ordered large", big, ["mode:bw:ordered"], check=check_bits("ordered")))
    out.append(Case("palette netscape ordered large", big, ["mode:palette:netscape:ordered"],
                    check=check_indexed(lambda p: indexed(p, "netscape", "ordered"))))
    out.append(Case("palette adaptive ordered large", big, ["mode:palette:adaptive:ordered"],
                    check=check_indexed(lambda p: indexed(p, "adaptive", "ordered"))))
    big_inks = cmyk_source(512, 516, 20)
    out.append(cmyk_file_case("rgb from cmyk large", big_inks, ["mode:rgb"], lambda path: compare_rgb(
        [[cmyk_to_rgb(*p) for p in row] for row in big_inks], path)))

    # Arguments outside the lists.
    for op in ["mode:bw:3", "mode:bw:dots", "mode:palette:web", "mode:palette:adaptive:halftone",
               "mode:palette:netscape:none:extra", "mode:gray:1", "mode:cmyk:0", "mode:sepia"]:
        out.append(usage_error_case("usage error " + op, rgb, [op]))
    return out


def netscape_picture(picture, dither="none"):
    """The picture as "mode:palette:netscape" shows it."""
    table, indices = indexed(picture, "netscape", dither)
    return Picture("RGB", picture.width, picture.height, [[table[i] for i in row] for row in indices])


def write_bmp_1bit(bits, table, path):
    """A 1-bit BMP of `bits` (rows of 0 and 1, top first) with the two
    table entries given as (r, g, b)."""
    height, width = len(bits), len(bits[0])
    stride = ((width + 7) // 8 + 3) // 4 * 4
    pixels = bytearray()
    for row in reversed(bits):
        packed = bytearray(stride)
        for x, b in enumerate(row):
            if b:
                packed[x // 8] |= 0x80 >> (x % 8)
        pixels += packed
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in table)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 1, 0, len(pixels), 2835, 2835, 2, 0)
    offset = 14 + 40 + len(colours)
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(head + info + colours + pixels)


def reversed_table_case(label, ops, expect):
    """Runs `ops` on a 1-bit file whose entry 0 is white and entry 1 black;
    expect(bits) gives the Picture expected."""
    rng = random.Random(31)
    bits = [[rng.randrange(2) for _ in range(13)] for _ in range(7)]
    stand_in = Picture("L", 13, 7, [[255 * (1 - b) for b in row] for row in bits])

    def check(_, __):
        problem, out = run_on_file(lambda path: write_bmp_1bit(bits, [(255, 255, 255), (0, 0, 0)], path), ops)
        if problem:
            return problem
        return difference(expect(bits), load(out))
    return Case(label, stand_in, ["invert-bgr"], check=check)


def compare_gray(expected_rows, path):
    height, width = len(expected_rows), len(expected_rows[0])
    return difference(Picture("L", width, height, expected_rows), load(path))


def compare_rgb(expected_rows, path):
    height, width = len(expected_rows), len(expected_rows[0])
    return difference(Picture("RGB", width, height, expected_rows), load(path))
