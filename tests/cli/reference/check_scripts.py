#!/usr/bin/env python3
"""Runs editing sessions through "vividrome-cli script" and compares the
images they save and render with pictures computed here, in plain Python,
from the editing rules (rectangles, blends, zoom sampling, the selection
file's layout).

    check_scripts.py --cli PATH [--only SUBSTRING]

Pictures are written and read by Pillow, never by our own codecs.
"""

import argparse
import math
import os
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import refsupport  # noqa: E402
from refsupport import Picture  # noqa: E402

BUTTON_FACE = (240, 240, 240)


def fill_rect(picture, left, top, right, bottom, value):
    out = picture.copy()
    for y in range(max(top, 0), min(bottom, picture.height)):
        for x in range(max(left, 0), min(right, picture.width)):
            out.rows[y][x] = value
    return out


def blend(src, dst, alpha, opacity):
    """Source over destination as the floater drops: a = alpha x opacity / 255,
    each byte (s a + d (255 - a)) / 255, truncated."""
    a = alpha * opacity // 255
    return tuple((s * a + d * (255 - a)) // 255 for s, d in zip(src, dst))


def shown(picture, n, d, scroll, size):
    """The client area at N:D: client pixel (cx, cy) shows image pixel
    floor((cx + scroll x) D / N), the button face outside the image."""
    width, height = size
    shown_w = int(picture.width * n / d + 0.5)
    shown_h = int(picture.height * n / d + 0.5)
    rows = []
    for cy in range(height):
        row = []
        for cx in range(width):
            vx, vy = cx + scroll[0], cy + scroll[1]
            if vx < shown_w and vy < shown_h:
                row.append(picture.rows[vy * d // n][vx * d // n])
            else:
                row.append(BUTTON_FACE)
        rows.append(row)
    return Picture("RGB", width, height, rows)


class Case:
    def __init__(self, label, script, expected):
        """`script` uses {in} (the input picture) and names outputs by
        {out:NAME}; `expected` maps NAME to a Picture or to bytes."""
        self.label = label
        self.script = script
        self.expected = expected


def ruler_ticks(unit, dpi, n, d, extent, end):
    """Ticks of one ruler as {view position: length}. Centimetres (marks of
    1 mm) and inches (marks of 1/16): mark i at 20 + round-half-up(i dpi N /
    (marks per inch x D)), the step the first of the unit's parts or 1, 2, 5,
    ... units at least 4 view pixels wide; 12 long on whole units, 8 on
    halves, 6 on inch quarters, else 4."""
    ticks = {}
    sub, per_inch, parts = (16, 16, [1, 2, 4, 8]) if unit == "inch" else (10, 25.4, [1, 5])
    mark = dpi * n / (per_inch * d)
    steps = parts + [sub * u * m for u in (10 ** k for k in range(8)) for m in (1, 2, 5)]
    step = next(s for s in steps if s * mark >= 4)
    i = 0
    while i * dpi / per_inch <= extent + 1e-9:
        position = 20 + math.floor(i * mark + 0.5)
        if position >= end:
            break
        length = 12 if i % sub == 0 else 8 if i % (sub // 2) == 0 else 6 if unit == "inch" and i % (sub // 4) == 0 else 4
        ticks[position] = length
        i += step
    return ticks


def with_rulers(picture, unit, dpi, n, d, image_size):
    """The client picture with its 20-pixel ruler bands: face 224, the inner
    edge 128, black ticks ending one pixel short of the edge."""
    out = picture.copy()
    face, edge, black = (224, 224, 224), (128, 128, 128), (0, 0, 0)
    for y in range(out.height):
        for x in range(out.width if y < 20 else 20):
            out.rows[y][x] = face
    for x in range(20, out.width):
        out.rows[19][x] = edge
    for y in range(20, out.height):
        out.rows[y][19] = edge
    for x, length in ruler_ticks(unit, dpi, n, d, image_size[0], out.width).items():
        for y in range(19 - length, 19):
            out.rows[y][x] = black
    for y, length in ruler_ticks(unit, dpi, n, d, image_size[1], out.height).items():
        for x in range(19 - length, 19):
            out.rows[y][x] = black
    return out


def cases():
    src = refsupport.random_picture("RGB", 40, 30, 7)
    out = []

    # Rectangles: either drag direction gives the same selection; Fill uses
    # the foreground, Delete the background.
    fg, bg = (10, 200, 30), (250, 5, 90)
    out.append(Case("rectangle-fill", """open {in}
tool rectangle
set foreground 10,200,30
drag 5,6 20,18
command fill
save {out:a}
""", {"a": fill_rect(src, 5, 6, 20, 18, fg)}))
    out.append(Case("rectangle-right-to-left-delete", """open {in}
tool rectangle
set background 250,5,90
drag 20,18 12,9 5,6
command delete
save {out:a}
""", {"a": fill_rect(src, 5, 6, 20, 18, bg)}))

    # Inverse, then Fill: everything but the rectangle.
    inverse = fill_rect(src, 0, 0, 40, 30, fg)
    for y in range(6, 18):
        for x in range(5, 20):
            inverse.rows[y][x] = src.rows[y][x]
    out.append(Case("inverse-fill", """open {in}
tool rectangle
set foreground 10,200,30
drag 5,6 20,18
command inverse
command fill
save {out:a}
""", {"a": inverse}))

    # Expand and Contract with the square element grow or shrink a
    # rectangle by N each way; Border N = dilated N div 2 minus eroded the rest.
    out.append(Case("expand-contract", """open {in}
tool rectangle
set foreground 10,200,30
drag 10,10 20,18
command expand 2
command fill
save {out:a}
command contract 3
command fill
""", {"a": fill_rect(src, 8, 8, 22, 20, fg)}))
    ring = fill_rect(src, 9, 9, 21, 19, fg)
    for y in range(11, 17):
        for x in range(11, 19):
            ring.rows[y][x] = src.rows[y][x]
    out.append(Case("border", """open {in}
tool rectangle
set foreground 10,200,30
drag 10,10 20,18
command border 2
command fill
save {out:a}
""", {"a": ring}))

    # Turning the canvas and Undo.
    turned = Picture("RGB", 30, 40, [[src.rows[30 - 1 - x][y] for x in range(30)] for y in range(40)])
    out.append(Case("canvas-rotate-undo", """open {in}
effect rotate-90
save {out:a}
command undo
save {out:b}
""", {"a": turned, "b": src}))

    # Float, move by (10, 3), drop at 50 % transparency: opacity 128.
    moved = src.copy()
    for y in range(13, 23):
        for x in range(20, 30):
            moved.rows[y][x] = blend(src.rows[y - 3][x - 10], src.rows[y][x], 255, 255 - 50 * 255 // 100)
    out.append(Case("floater-move-defloat", """open {in}
tool rectangle
drag 10,10 20,20
tool move-floater
drag 15,15 20,16 25,18
set transparency 50
command defloat
save {out:a}
""", {"a": moved}))
    # The view shows the floater as Defloat would drop it (the outline hidden).
    out.append(Case("render-floater", """open {in}
tool rectangle
drag 10,10 20,20
command hide-selection
tool move-floater
drag 15,15 25,18
set transparency 50
view 50 36
render {out:a}
""", {"a": shown(moved, 1, 1, (0, 0), (50, 36))}))

    # Two windows of one document share its floater, each with its own zoom
    # and outline switch: the floater moved in the first shows in the second.
    out.append(Case("two-windows", """open {in}
tool rectangle
drag 10,10 20,20
command new-window
view 60 50
zoom 2:1
scroll 20 10
command hide-selection
window 1
tool move-floater
drag 15,15 25,18
set transparency 50
window 2
render {out:a}
""", {"a": shown(moved, 2, 1, (20, 10), (60, 50))}))

    # A merge mode the image's kind cannot take (Hue on gray) drops as
    # Normal, and the view shows it so before the drop.
    gray = refsupport.random_picture("L", 40, 30, 5)
    gray_moved = gray.copy()
    for y in range(13, 23):
        for x in range(20, 30):
            gray_moved.rows[y][x] = blend((gray.rows[y - 3][x - 10],), (gray.rows[y][x],), 255, 128)[0]
    gray_shown = shown(gray_moved, 1, 1, (0, 0), (50, 36))
    gray_shown.rows = [[(v, v, v) if isinstance(v, int) else v for v in row] for row in gray_shown.rows]
    # (Pillow writes the picture with a gray colour table: mode:gray makes it
    # a gray image with the same levels.)
    out.append(Case("gray-hue-drops-as-normal", """open {in}
effect mode:gray
tool rectangle
drag 10,10 20,20
command hide-selection
tool move-floater
drag 15,15 25,18
set transparency 50
set merge-mode Hue
view 50 36
render {out:a}
command defloat
save {out:b}
""", {"a": gray_shown, "b": gray_moved, "@in": gray}))

    # Channel Separate opens each channel as a new document, after the ones
    # open: documents 2, 3, 4 hold red, green and blue.
    channels = [Picture("L", 40, 30, [[p[c] for p in row] for row in src.rows]) for c in range(3)]
    out.append(Case("channel-separate", """open {in}
command channel-separate
save {out:b}
document 2
save {out:r}
document 3
save {out:g}
""", {"r": channels[0], "g": channels[1], "b": channels[2]}))

    # Arrow keys move the outline; the moves undo in one step.
    out.append(Case("arrow-moves-undo", """open {in}
set transparency 0
tool rectangle
set foreground 10,200,30
drag 5,6 20,18
key right 5
key down 2
key left
command undo
command fill
save {out:a}
""", {"a": fill_rect(src, 5, 6, 20, 18, fg)}))

    # Copy, then Paste at the top-left of the visible area, dropped opaque.
    pasted = src.copy()
    for y in range(0, 8):
        for x in range(0, 6):
            pasted.rows[y][x] = src.rows[y + 12][x + 22]
    out.append(Case("copy-paste", """open {in}
set transparency 0
tool rectangle
drag 22,12 28,20
command copy
command paste
command defloat
save {out:a}
""", {"a": pasted}))

    # Trim crops to the selection's box.
    crop = Picture("RGB", 12, 9, [src.rows[y][7:19] for y in range(4, 13)])
    out.append(Case("trim", """open {in}
tool rectangle
drag 7,4 19,13
command trim
save {out:a}
""", {"a": crop}))

    # Cut fills with the background; Undo brings the pixels back.
    out.append(Case("cut-undo", """open {in}
tool rectangle
set background 250,5,90
drag 3,3 9,9
command cut
save {out:a}
command undo
save {out:b}
""", {"a": fill_rect(src, 3, 3, 9, 9, bg), "b": src}))

    # Zoom sampling and scrolling, the button face outside the image.
    out.append(Case("render-zoom-in", """open {in}
view 50 44
zoom 2:1
scroll 6 4
render {out:a}
""", {"a": shown(src, 2, 1, (6, 4), (50, 44))}))
    wide = refsupport.random_picture("RGB", 80, 60, 11)
    out.append(Case("render-zoom-out", """open {in}
view 30 20
zoom 1:2
render {out:a}
""", {"a": shown(wide, 1, 2, (0, 0), (30, 20)), "@in": wide}))
    # Gestures are in view coordinates: at 2:1 a view point maps to image
    # point trunc(v / 2 + 0.5).
    out.append(Case("zoomed-rectangle", """open {in}
zoom 2:1
tool rectangle
set foreground 10,200,30
drag 10,12 30,40
command fill
save {out:a}
""", {"a": fill_rect(src, 5, 6, 15, 20, fg)}))

    # The selection file: the magic, the byte count, then the region as a
    # 32-byte header and its rectangles in bands, in image coordinates.
    rects = [(2, 2, 10, 4), (2, 4, 14, 6), (6, 6, 14, 9)]
    data = struct.pack("<8i", 32, 1, len(rects), 16 * len(rects), 2, 2, 14, 9)
    data += b"".join(struct.pack("<4i", *r) for r in rects)
    sel = b"vividrome selection 0100" + b" " * 7 + b"\0" + struct.pack("<i", len(data)) + data
    reloaded = src.copy()
    for (l, t, r, b) in rects:
        reloaded = fill_rect(reloaded, l, t, r, b, fg)
    out.append(Case("selection-file", """open {in}
tool rectangle
drag 2,2 10,6
drag 6,4 14,9 shift
command save-selection {out:s}
command none
command load-selection {out:s} new
set foreground 10,200,30
command fill
save {out:a}
""", {"s": sel, "a": reloaded}))

    # The magic wand with tolerance 0 takes the connected area of one colour.
    areas = Picture("RGB", 24, 16, [[(200, 10, 10) if x < 10 else (10, 10, 200) for x in range(24)]
                                     for y in range(16)])
    out.append(Case("magic-wand", """open {in}
tool magic-wand
set tolerance 0
click 15,8
set foreground 10,200,30
command fill
save {out:a}
""", {"a": fill_rect(areas, 10, 0, 24, 16, fg), "@in": areas}))

    # Paint tools. A square pen of size 4 dragged from 10,10 to 20,10 lays a
    # dab at every view pixel (spacing 20 % of 4 rounds to 1): it covers
    # x 8..21, y 8..11; a selection or a floater keeps it inside the box.
    for label, setup, rect in (
            ("pen-stroke", "", (8, 8, 22, 12)),
            ("pen-stroke-selection", "tool rectangle\ndrag 5,5 15,20\n", (8, 8, 15, 12)),
            ("pen-stroke-floater", "tool rectangle\ndrag 5,5 15,20\ncommand float\n", (8, 8, 15, 12))):
        out.append(Case(label, "open {in}\n" + setup + """tool pen
set size 4
set foreground 10,200,30
drag 10,10 15,10 20,10
""" + ("command defloat\n" if "floater" in label else "") + "save {out:a}\n",
                        {"a": fill_rect(src, *rect, fg)}))
    # The eraser paints the background colour under a size-6 dab.
    out.append(Case("eraser", """open {in}
set background 250,5,90
tool eraser
set size 6
click 20,15
save {out:a}
""", {"a": fill_rect(src, 17, 12, 23, 18, bg)}))
    # Flood fill with tolerance 0 takes the right-hand area, inside the
    # selection when there is one.
    for label, setup, rect in (("flood-fill", "", (10, 0, 24, 16)),
                               ("flood-fill-selection", "tool rectangle\ndrag 12,4 20,12\n", (12, 4, 20, 12))):
        out.append(Case(label, "open {in}\n" + setup + """tool flood-fill
set tolerance 0
set foreground 10,200,30
click 15,8
save {out:a}
""", {"a": fill_rect(areas, *rect, fg), "@in": areas}))
    # A horizontal line of width 3 covers 3 rows and reaches one pixel past
    # each end (the round caps of the capsule around the segment).
    out.append(Case("line", """open {in}
tool line
set width 3
set foreground 10,200,30
drag 5,10 9,12 15,10
save {out:a}
""", {"a": fill_rect(src, 4, 9, 17, 12, fg)}))
    # A rectangle from 2,2 to 11,7 with a one-pixel foreground border around
    # a left-to-right gradient from the foreground to the background: t is
    # the pixel centre's position across the box.
    shape = src.copy()
    sfg, sbg = (0, 0, 0), (255, 100, 200)
    for y in range(2, 8):
        for x in range(2, 12):
            if 2 < x < 11 and 2 < y < 7:
                t = (x + 0.5 - 2) / 10
                shape.rows[y][x] = tuple(int(f * (1 - t) + b * t + 0.5) for f, b in zip(sfg, sbg))
            else:
                shape.rows[y][x] = sfg
    out.append(Case("shape-rectangle", """open {in}
tool shape
set shape Rectangle
set fill-style "Left to Right"
set border-width 1
set foreground 0,0,0
set background 255,100,200
drag 2,2 11,7
save {out:a}
""", {"a": shape}))

    # Rulers in each measuring unit: a new image has 72 dpi; at 2:1 a
    # millimetre is 5.67 view pixels, a sixteenth of an inch 9.
    white = Picture("RGB", 200, 100, [[(255, 255, 255)] * 200 for _ in range(100)])
    client = shown(white, 2, 1, (-20, -20), (260, 160))
    out.append(Case("ruler-units", """new 200 100 rgb white
view 260 160
zoom 2:1
command ruler
scroll 0 0
command centimeter
render {out:cm}
command inch
render {out:inch}
""", {name: with_rulers(client, unit, 72, 2, 1, (200, 100)) for name, unit in (("cm", "centimeter"), ("inch", "inch"))}))

    out.extend(effect_cases(src))
    return out


def paste_box(picture, part, left, top):
    """`picture` with `part` put at (left, top)."""
    out = picture.copy()
    for y in range(part.height):
        for x in range(part.width):
            out.rows[top + y][left + x] = part.rows[y][x]
    return out


def crop(picture, left, top, right, bottom):
    return Picture(picture.mode, right - left, bottom - top, [row[left:right] for row in picture.rows[top:bottom]])


def effect_cases(src):
    """Effects run at once and through the preview, with and without a
    selection and on a floater. With a selection (and no floater) an effect
    works on a floater of the selection's box, which a neighbourhood filter
    sees as the picture's edge."""
    import ref_filters_rank
    import ref_tone
    out = []
    # A palette image (a gray picture as Pillow writes it opens as one): the
    # preview of a tone adjustment shows the changed colour table, as OK
    # then makes it.
    levels = refsupport.random_picture("L", 30, 20, 9)
    bc = ref_tone.brightness_contrast_table(35, 20)
    changed = Picture("L", 30, 20, [[bc[v] for v in row] for row in levels.rows])
    changed_rgb = Picture("RGB", 30, 20, [[(v, v, v) for v in row] for row in changed.rows])
    out.append(Case("preview-palette-table", """open {in}
view 30 20
preview brightness-contrast:35,20
render {out:p}
preview-ok
save {out:a}
""", {"p": shown(changed_rgb, 1, 1, (0, 0), (30, 20)), "a": changed, "@in": levels}))
    table = ref_tone.brightness_contrast_table(30, 40)
    toned = ref_tone.apply_table(table)
    box = (5, 6, 20, 18)  # drag 5,6 20,18
    inside_toned = paste_box(src, toned(crop(src, *box)), box[0], box[1])
    out.append(Case("effect-tone-selection", """open {in}
tool rectangle
drag 5,6 20,18
effect brightness-contrast:30,40
save {out:a}
""", {"a": inside_toned}))
    out.append(Case("effect-filter-whole", """open {in}
effect median:1
save {out:a}
""", {"a": ref_filters_rank.median(1)(src)}))
    inside_median = paste_box(src, ref_filters_rank.median(1)(crop(src, *box)), box[0], box[1])
    out.append(Case("preview-filter-selection", """open {in}
tool rectangle
drag 5,6 20,18
command hide-selection
view 50 36
preview median:2
preview median:1
render {out:p}
preview-ok
save {out:a}
""", {"p": shown(inside_median, 1, 1, (0, 0), (50, 36)), "a": inside_median}))
    out.append(Case("preview-tone-whole", """open {in}
view 50 36
preview brightness-contrast:30,40
render {out:p}
preview-ok
save {out:a}
""", {"p": shown(toned(src), 1, 1, (0, 0), (50, 36)), "a": toned(src)}))
    # On a floater the effect changes the floater; the drop (opaque) shows it.
    out.append(Case("preview-tone-floater", """open {in}
set transparency 0
tool rectangle
drag 5,6 20,18
command float
command hide-selection
view 50 36
preview brightness-contrast:30,40
render {out:p}
preview-ok
command defloat
save {out:a}
""", {"p": shown(inside_toned, 1, 1, (0, 0), (50, 36)), "a": inside_toned}))
    return out


def read_selection(path):
    """The rectangles of a selection file: the magic (32 bytes), the byte
    count, then a 32-byte header (size, type, count, bytes, bounds) and the
    rectangles as left, top, right, bottom."""
    with open(path, "rb") as f:
        data = f.read()
    count = struct.unpack_from("<i", data, 36 + 8)[0]
    return [struct.unpack_from("<4i", data, 36 + 32 + 16 * i) for i in range(count)]


def inside(rects, x, y):
    return any(l <= x < r and t <= y < b for (l, t, r, b) in rects)


def text_checks(cli, work):
    """Text placed with the fonts of the system cannot be drawn here the same
    way, so these check what must hold whatever the glyphs look like: the
    floater dropped changes only pixels of the text's selection, each to the
    foreground blended over the original by some alpha; with Mask Only, Fill
    paints exactly the selection; the same script saves the same bytes."""
    src = refsupport.random_picture("RGB", 120, 60, 5)
    source = os.path.join(work, "text-in.bmp")
    refsupport.save(src, source)
    fg = (10, 200, 30)
    problems = []

    def run(label, body):
        outs = {n: os.path.join(work, "%s-%s" % (label, n)) for n in ("a.bmp", "b.bmp", "s.sel")}
        script = body.format(src=source, **{k.split(".")[0]: v for k, v in outs.items()})
        result = subprocess.run([cli, "script", "-"], input=script.encode(), capture_output=True, timeout=120)
        if result.returncode != 0:
            problems.append("%s: exit %d: %s" % (label, result.returncode, result.stderr.decode(errors="replace")))
            return None
        return outs

    body = """open {src}
tool text
set foreground 10,200,30
set font "DejaVu Sans"
set font-size 22
set antialias on
set text "Text\\nlines"
click 8,6
preview-ok
command save-selection {s}
command defloat
save {a}
"""
    first, second = run("text-float", body), run("text-again", body)
    if first and second:
        with open(first["a.bmp"], "rb") as f1, open(second["a.bmp"], "rb") as f2:
            if f1.read() != f2.read():
                problems.append("text-float: two runs saved different bytes")
        rects = read_selection(first["s.sel"])
        got = refsupport.load(first["a.bmp"])
        changed = 0
        for y in range(src.height):
            for x in range(src.width):
                was, now = src.rows[y][x], got.rows[y][x]
                if was == now:
                    continue
                changed += 1
                if not inside(rects, x, y):
                    problems.append("text-float: pixel %d,%d changed outside the selection" % (x, y))
                    break
                if not any(blend(fg, was, a, 255) == now for a in range(256)):
                    problems.append("text-float: pixel %d,%d is %s, no blend of %s over %s" % (x, y, now, fg, was))
                    break
        if not rects or min(r[0] for r in rects) < 8 or min(r[1] for r in rects) < 6:
            problems.append("text-float: the selection %s does not start at the press point" % (rects[:1],))
        if changed == 0:
            problems.append("text-float: the text changed no pixel")

    masked = run("text-mask", """open {src}
tool text
set mask-only on
set text "Mask"
set font-size 30
click 4,4
preview-ok
command save-selection {s}
set foreground 10,200,30
command fill
save {a}
""")
    if masked:
        rects = read_selection(masked["s.sel"])
        got = refsupport.load(masked["a.bmp"])
        for y in range(src.height):
            for x in range(src.width):
                wanted = fg if inside(rects, x, y) else src.rows[y][x]
                if got.rows[y][x] != wanted:
                    problems.append("text-mask: pixel %d,%d is %s, expected %s" % (x, y, got.rows[y][x], wanted))
                    break
            else:
                continue
            break
        if not rects:
            problems.append("text-mask: no selection")
    return problems


def run_case(cli, case, work):
    picture = case.expected.get("@in")
    source = os.path.join(work, case.label + "-in.bmp")
    refsupport.save(picture if picture is not None else refsupport.random_picture("RGB", 40, 30, 7), source)
    outputs = {}
    script = case.script.replace("{in}", source)
    for name in case.expected:
        if name.startswith("@"):
            continue
        ext = ".sel" if isinstance(case.expected[name], bytes) else ".bmp"
        outputs[name] = os.path.join(work, "%s-%s%s" % (case.label, name, ext))
        script = script.replace("{out:%s}" % name, outputs[name])
    result = subprocess.run([cli, "script", "-"], input=script.encode(), capture_output=True, timeout=120)
    if result.returncode != 0:
        return "exit %d: %s" % (result.returncode, result.stderr.decode(errors="replace").strip())
    for name, path in outputs.items():
        wanted = case.expected[name]
        if not os.path.exists(path):
            return "%s was not written" % name
        if isinstance(wanted, bytes):
            with open(path, "rb") as f:
                got = f.read()
            if got != wanted:
                return "%s: %d bytes differ from the %d expected" % (name, len(got), len(wanted))
            continue
        got = refsupport.load(path)
        if (got.width, got.height) != (wanted.width, wanted.height):
            return "%s: %dx%d, expected %dx%d" % (name, got.width, got.height, wanted.width, wanted.height)
        for y in range(wanted.height):
            for x in range(wanted.width):
                if got.rows[y][x] != wanted.rows[y][x]:
                    return "%s: pixel %d,%d is %s, expected %s" % (name, x, y, got.rows[y][x], wanted.rows[y][x])
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--only", default="")
    args = parser.parse_args()
    selected = [c for c in cases() if args.only in c.label]
    failed = 0
    with tempfile.TemporaryDirectory(prefix="vivid-script-") as work:
        for case in selected:
            problem = run_case(args.cli, case, work)
            if problem:
                failed += 1
                print("FAIL %s: %s" % (case.label, problem))
            else:
                print("ok   %s" % case.label)
        total = len(selected)
        if args.only in "text-placement":
            total += 1
            problems = text_checks(args.cli, work)
            if problems:
                failed += 1
                print("FAIL text-placement: %s" % "; ".join(problems))
            else:
                print("ok   text-placement")
    print("%d of %d cases passed" % (total - failed, total))
    return 1 if failed or not total else 0


if __name__ == "__main__":
    sys.exit(main())
