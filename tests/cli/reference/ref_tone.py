"""Tone and colour adjustments, worked out from their formulas."""

from refsupport import Case, map_channels, keep_outside, random_picture


def cases():
    rgb = random_picture("RGB", 23, 9, 1)
    gray = random_picture("L", 17, 6, 2)
    out = []
    invert = lambda p: map_channels(p, lambda c: [255 - v for v in c])
    out.append(Case("invert-color rgb", rgb, ["invert-color"], invert))
    out.append(Case("invert-color gray", gray, ["invert-color"], invert))
    out.append(Case("invert-color selection", rgb, ["invert-color"],
                    lambda p: keep_outside(p, invert(p), (3, 2, 9, 4)), select=(3, 2, 9, 4)))
    out.append(Case("invert-bgr", rgb, ["invert-bgr"], lambda p: map_channels(p, lambda c: [c[2], c[1], c[0]])))
    return out
