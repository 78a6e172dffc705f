#!/usr/bin/python3
"""Draws the application icon's PNG sizes from the same geometry as
vividrome.svg (256 x 256 units), 4x supersampled. Run once after changing
the icon; the PNGs are committed."""
from PIL import Image, ImageDraw

def draw(size):
    s = size * 4 / 256.0
    img = Image.new("RGBA", (size * 4, size * 4), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    sc = lambda *xy: [v * s for v in xy]
    d.rounded_rectangle(sc(16, 28, 240, 228), radius=18 * s, fill="#263238")
    top, bottom = (0x3a, 0x7b, 0xd5), (0x9f, 0xd3, 0xf0)
    for y in range(int(42 * s), int(214 * s)):
        t = (y - 42 * s) / (172 * s)
        c = tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
        d.line([(30 * s, y), (226 * s, y)], fill=c)
    d.ellipse(sc(158, 66, 202, 110), fill="#ffd54f")
    d.polygon(sc(30, 214, 30, 170, 90, 110, 140, 160, 168, 132, 226, 190, 226, 214), fill="#2e7d32")
    for x in range(58, 146, 20):  # the dashed selection frame
        d.line(sc(x, 60, min(x + 12, 146), 60), fill="white", width=max(1, int(5 * s)))
        d.line(sc(x, 124, min(x + 12, 146), 124), fill="white", width=max(1, int(5 * s)))
    for y in range(60, 124, 20):
        d.line(sc(58, y, 58, min(y + 12, 124)), fill="white", width=max(1, int(5 * s)))
        d.line(sc(146, y, 146, min(y + 12, 124)), fill="white", width=max(1, int(5 * s)))
    d.polygon(sc(150, 236, 214, 150, 232, 164, 170, 248, 146, 252), fill="#ff7043", outline="#263238",
              width=max(1, int(5 * s)))
    return img.resize((size, size), Image.LANCZOS)

for size in (16, 32, 48, 64, 128, 256):
    draw(size).save(f"vividrome-{size}.png", optimize=True)
