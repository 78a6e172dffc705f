#!/usr/bin/env python3
"""Runs editing sessions through "vividrome-cli script" and compares the
images they save and render with pictures computed here, in plain Python,
from the editing rules (rectangles, blends, zoom sampling, the selection
file's layout).

    check_scripts.py --cli PATH [--only SUBSTRING]

Pictures are written and read by Pillow, never by our own codecs.
"""

import argparse
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
    print("%d of %d cases passed" % (len(selected) - failed, len(selected)))
    return 1 if failed or not selected else 0


if __name__ == "__main__":
    sys.exit(main())
