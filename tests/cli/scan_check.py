#!/usr/bin/env python3
"""`vividrome-cli sources` and `vividrome-cli scan` against SANE's test
backend, with scanimage writing PNM for the same options as the oracle.

Runs with a private SANE configuration (only the test backend, one device)
and a private home so that the remembered source lands in a temporary folder.
Exit 77 when scanimage is missing. Both pictures are decoded here (PNG with
zlib, PNM by hand) into gray or RGB samples, row after row.
"""
import argparse
import os
import shutil
import subprocess
import struct
import sys
import tempfile
import zlib

# Pixel comparisons: CLI options, the scanimage options that mean the same,
# and the kind both pictures are compared as.
PICTURE_CASES = [
    ("colour 50 dpi", ["--mode", "color", "--dpi", "50", "--area", "0,0,20,10"],
     ["--mode", "Color", "--resolution", "50", "-l", "0", "-t", "0", "-x", "20", "-y", "10"], "RGB"),
    ("gray 75 dpi, area off the corner", ["--mode", "gray", "--dpi", "75", "--area", "5,3,30,12"],
     ["--mode", "Gray", "--resolution", "75", "-l", "5", "-t", "3", "-x", "30", "-y", "12"], "L"),
    ("lineart 100 dpi", ["--mode", "lineart", "--dpi", "100", "--area", "0,0,25.4,12.7"],
     ["--mode", "Gray", "--depth", "1", "--resolution", "100", "-l", "0", "-t", "0", "-x", "25.4", "-y", "12.7"],
     "L"),
]

# Refusals: CLI arguments after `scan OUT.png`, the exit status, and text the
# error must contain. None of them may leave OUT.png behind.
REFUSAL_CASES = [
    ("unknown mode", ["--mode", "sepia"], 2, "--mode"),
    ("dpi 0", ["--dpi", "0"], 2, "--dpi"),
    ("dpi not a number", ["--dpi", "high"], 2, "--dpi"),
    ("area with three numbers", ["--area", "1,2,3"], 2, "--area"),
    ("area of no width", ["--area", "0,0,0,10"], 2, "--area"),
    ("area with a tail", ["--area", "0,0,10,10mm"], 2, "--area"),
    ("device option without a value", ["--device-option", "hand-scanner"], 2, "--device-option"),
    ("unknown device", ["--device", "nosuch:9"], 1, "OpenDS - "),
    ("hand scanner", ["--device-option", "hand-scanner=yes", "--mode", "gray"], 1,
     "TransferImage - Software does not support unbuffered devices."),
    ("device refuses an option", ["--device-option", "no-such-option=1"], 1, "no-such-option"),
]


def read_pnm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    pos = 0
    kind = data[:2]
    pos = 2
    wanted = 2 if kind == b"P4" else 3  # width, height and maxval but for PBM
    while len(fields) < wanted:
        if pos >= len(data):
            raise ValueError(f"{path}: header cut short")
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while end < len(data) and not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1  # the single whitespace before the samples
    width, height = int(fields[0]), int(fields[1])
    body = data[pos:]
    if kind == b"P4":
        line = (width + 7) // 8
        # PBM: bit 1 is black.
        pixels = bytes(0 if (body[y * line + x // 8] >> (7 - x % 8)) & 1 else 255
                       for y in range(height) for x in range(width))
        return "L", width, height, pixels
    mode = "RGB" if kind == b"P6" else "L"
    channels = 3 if mode == "RGB" else 1
    return mode, width, height, body[:width * height * channels]


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def read_png(path, mode):
    """Non-interlaced PNG of gray, RGB or palette colour at 1 or 8 bits,
    as `mode` ("L" or "RGB") samples."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, palette = 8, b"", None
    while pos < len(data):
        length, tag = struct.unpack(">I4s", data[pos:pos + 8])
        chunk = data[pos + 8:pos + 8 + length]
        if tag == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunk)
        elif tag == b"PLTE":
            palette = [tuple(chunk[i:i + 3]) for i in range(0, length, 3)]
        elif tag == b"IDAT":
            idat += chunk
        pos += 12 + length
    if interlace != 0 or depth not in (1, 8) or colour not in (0, 2, 3):
        raise ValueError(f"PNG kind not read here: depth {depth}, colour {colour}, interlace {interlace}")
    channels = 3 if colour == 2 else 1
    line = (width * channels * depth + 7) // 8
    step = max(1, channels * depth // 8)
    raw = zlib.decompress(idat)
    rows, previous = [], bytearray(line)
    for y in range(height):
        kind = raw[y * (line + 1)]
        row = bytearray(raw[y * (line + 1) + 1:(y + 1) * (line + 1)])
        for i in range(line):
            a = row[i - step] if i >= step else 0
            b = previous[i]
            c = previous[i - step] if i >= step else 0
            row[i] = (row[i] + (0, a, b, (a + b) // 2, paeth(a, b, c))[kind]) & 255
        rows.append(row)
        previous = row
    out = bytearray()
    for row in rows:
        for x in range(width):
            if depth == 1:
                value = (row[x // 8] >> (7 - x % 8)) & 1
                rgb = palette[value] if colour == 3 else (value * 255,) * 3
            elif colour == 2:
                rgb = tuple(row[3 * x:3 * x + 3])
            elif colour == 3:
                rgb = palette[row[x]]
            else:
                rgb = (row[x],) * 3
            if mode == "RGB":
                out += bytes(rgb)
            else:
                if rgb[0] != rgb[1] or rgb[1] != rgb[2]:
                    raise ValueError("a coloured pixel in a picture compared as gray")
                out.append(rgb[0])
    return mode, width, height, bytes(out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    args = parser.parse_args()
    if shutil.which("scanimage") is None:
        print("scanimage is not installed", file=sys.stderr)
        return 77

    work = tempfile.mkdtemp(prefix="vivid_scan_cli_")
    conf = os.path.join(work, "sane")
    os.makedirs(conf)
    with open(os.path.join(conf, "dll.conf"), "w") as f:
        f.write("test\n")
    with open(os.path.join(conf, "test.conf"), "w") as f:
        f.write("number_of_devices 1\n")
    env = dict(os.environ, SANE_CONFIG_DIR=conf, HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"),
               QT_QPA_PLATFORM="offscreen")
    # Under the sanitizers: the test backend stops its reader thread when the
    # last byte is read, sometimes before the reader freed its buffer, and the
    # command unloads the backend at its end, so the leak checker could name
    # neither the memory nor its owner. The scanning code's own leaks are
    # checked in-process by acquire_tests, which keeps the backend loaded.
    if "ASAN_OPTIONS" in env:
        env["ASAN_OPTIONS"] += ":detect_leaks=0"
    failures = []

    def run(command):
        # A run that hangs is a failure named by its command, not a stalled check.
        try:
            return subprocess.run(command, env=env, capture_output=True, text=True, timeout=20)
        except subprocess.TimeoutExpired:
            return subprocess.CompletedProcess(command, -1, "", "hung for 20 s: " + " ".join(command))

    try:
        listed = run([args.cli, "sources"])
        lines = listed.stdout.splitlines()
        if listed.returncode != 0 or len(lines) != 1 or lines[0].split("\t")[0] != "test:0":
            failures.append(f"sources: exit {listed.returncode}, output {listed.stdout!r} {listed.stderr!r}")

        for name, cli_options, scanimage_options, mode in PICTURE_CASES:
            for picture in ("Color pattern", "Grid"):
                out = os.path.join(work, "scan.png")
                oracle = os.path.join(work, "oracle.pnm")
                for path in (out, oracle):
                    if os.path.exists(path):
                        os.remove(path)
                scanned = run([args.cli, "scan", out, *cli_options, "--device-option", f"test-picture={picture}"])
                if scanned.returncode != 0 or not os.path.exists(out):
                    failures.append(f"{name} / {picture}: exit {scanned.returncode}: {scanned.stderr.strip()}")
                    continue
                with open(oracle, "wb") as f:
                    done = subprocess.run(["scanimage", "-d", "test:0", "--format=pnm", "--test-picture", picture,
                                           *scanimage_options], env=env, stdout=f, stderr=subprocess.PIPE,
                                          timeout=60)
                if done.returncode != 0:
                    failures.append(f"{name} / {picture}: scanimage failed: {done.stderr.decode().strip()}")
                    continue
                want = read_pnm(oracle)
                got = read_png(out, mode)
                if want[0] != mode or got[1:3] != want[1:3]:
                    failures.append(f"{name} / {picture}: {got[:3]}, scanimage {want[:3]}")
                    continue
                if got[3] != want[3]:
                    diff = sum(a != b for a, b in zip(got[3], want[3]))
                    failures.append(f"{name} / {picture}: {diff} samples differ from scanimage")

        for name, extra, status, text in REFUSAL_CASES:
            out = os.path.join(work, "refused.png")
            if os.path.exists(out):
                os.remove(out)
            refused = run([args.cli, "scan", out, *extra])
            if refused.returncode != status:
                failures.append(f"{name}: exit {refused.returncode}, wanted {status}: {refused.stderr.strip()}")
            if text not in refused.stderr:
                failures.append(f"{name}: error {refused.stderr.strip()!r} lacks {text!r}")
            if os.path.exists(out):
                failures.append(f"{name}: a file was written")
    finally:
        shutil.rmtree(work, ignore_errors=True)

    for failure in failures:
        print("FAIL", failure)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
