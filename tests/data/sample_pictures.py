"""The synthetic picture the codec sample scripts start from: red rising
left to right, green top to bottom, blue falling with both, plus
deterministic noise of +-24 levels, so that every colour and run length
occurs and the files are the same on every run."""
from PIL import Image


def picture(w, h, seed):
    state = seed
    data = bytearray()
    for y in range(h):
        for x in range(w):
            state = (state * 1103515245 + 12345) & 0x7FFFFFFF
            noise = (state >> 16) % 48 - 24
            r = 255 * x // (w - 1)
            g = 255 * y // (h - 1)
            b = 255 - (r + g) // 2
            data += bytes(max(0, min(255, v + noise)) for v in (r, g, b))
    return Image.frombytes("RGB", (w, h), bytes(data))
