"""The editor on a private virtual X display, shared by the window checks.

A Session has its own Xvfb (a free display picked by Xvfb itself), its own
HOME and XDG folders, and starts the editor there; screenshots come from
ImageMagick's import as Pictures (8-bit RGB, rows top to bottom)."""
import os
import shutil
import signal
import struct
import subprocess
import sys
import time
import zlib

SKIP = 77


def skip(reason):
    print("skipped: " + reason)
    sys.exit(SKIP)


def require_tools():
    for tool in ("Xvfb", "xdotool", "import"):
        if not shutil.which(tool, path="/usr/bin:/bin"):
            skip(tool + " is not installed (scripts/install-deps)")


class Picture:
    """8-bit RGB pixels, rows top to bottom, no padding."""

    def __init__(self, width, height, data):
        self.size = (width, height)
        self.data = bytes(data)

    def save_png(self, path):
        width, height = self.size
        raw = b"".join(b"\0" + self.data[y * width * 3:(y + 1) * width * 3] for y in range(height))

        def chunk(kind, body):
            return (struct.pack(">I", len(body)) + kind + body +
                    struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

        with open(path, "wb") as out:
            out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                      chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def read_ppm(data):
    """A binary PPM (P6) or PGM (P5), maxval 255, as a Picture."""
    fields = []
    at = 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at)
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    if fields[0] not in (b"P5", b"P6") or fields[3] != b"255":
        raise RuntimeError("unexpected picture format %r" % fields)
    width, height = int(fields[1]), int(fields[2])
    if fields[0] == b"P5":
        return Picture(width, height, bytes(v for v in data[at + 1:at + 1 + width * height] for _ in range(3)))
    return Picture(width, height, data[at + 1:at + 1 + width * height * 3])


def find(screen, pic):
    """Top-left corner of `pic` inside `screen` at 1:1, or None."""
    sw, sh = screen.size
    pw, ph = pic.size
    sbytes = screen.data
    rows = [pic.data[y * pw * 3:(y + 1) * pw * 3] for y in range(ph)]
    stride = sw * 3
    for y in range(sh - ph + 1):
        line = sbytes[y * stride:(y + 1) * stride]
        at = line.find(rows[0])
        while at >= 0:
            if at % 3 == 0 and all(sbytes[(y + r) * stride + at:(y + r) * stride + at + pw * 3] == rows[r]
                                   for r in range(1, ph)):
                return at // 3, y
            at = line.find(rows[0], at + 1)
    return None


class Session:
    def __init__(self, app, folder):
        self.app = app
        self.folder = folder
        self.processes = []
        env = dict(os.environ)
        for name in ("HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"):
            path = os.path.join(folder, name.lower())
            os.makedirs(path)
            env[name] = path
        runtime = os.path.join(folder, "runtime")
        os.makedirs(runtime, mode=0o700)
        os.chmod(runtime, 0o700)
        env["XDG_RUNTIME_DIR"] = runtime
        env["QT_QPA_PLATFORM"] = "xcb"
        for name in ("WAYLAND_DISPLAY", "PRINTER", "LPDEST"):
            env.pop(name, None)
        self.env = env

    def run(self, *args, timeout=15):
        return subprocess.run(list(args), env=self.env, capture_output=True, text=True, timeout=timeout)

    def start_display(self):
        # Xvfb picks a free display itself and writes its number to the pipe.
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(["/usr/bin/Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24",
                                 "-nolisten", "tcp"], pass_fds=(write_end,), stderr=subprocess.DEVNULL)
        self.processes.append(xvfb)
        os.close(write_end)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_end, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read_end)
        self.env["DISPLAY"] = ":" + number.decode().strip()

    def editor(self, *args):
        process = subprocess.Popen([self.app, *args], env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.processes.append(process)
        return process

    def screen(self):
        shot = subprocess.run(["/usr/bin/import", "-window", "root", "-depth", "8", "ppm:-"], env=self.env,
                              capture_output=True, check=True).stdout
        return read_ppm(shot)

    def window(self, name, seconds=10):
        """The first visible window whose name matches, waiting for it; ""
        when none appears."""
        try:
            found = self.run("/usr/bin/xdotool", "search", "--sync", "--onlyvisible", "--name", name,
                             timeout=seconds)
        except subprocess.TimeoutExpired:
            return ""
        return found.stdout.split()[0] if found.stdout.split() else ""

    def visible(self, name):
        """The visible windows whose name matches, sorted."""
        return sorted(self.run("/usr/bin/xdotool", "search", "--onlyvisible", "--name", name).stdout.split())

    def titles(self):
        ids = self.run("/usr/bin/xdotool", "search", "--onlyvisible", "--name", ".").stdout.split()
        return [self.run("/usr/bin/xdotool", "getwindowname", i).stdout.strip() for i in ids]

    def keys(self, window, *keys):
        self.run("/usr/bin/xdotool", "windowactivate", "--sync", window)
        self.run("/usr/bin/xdotool", "windowfocus", "--sync", window)
        for key in keys:
            self.run("/usr/bin/xdotool", "key", "--clearmodifiers", key)
            time.sleep(0.05)

    def wait_for(self, pic, seconds=10):
        """Where `pic` shows on the screen at 1:1 and that screenshot, or
        None and the last one."""
        deadline = time.monotonic() + seconds
        shot = None
        while time.monotonic() < deadline:
            shot = self.screen()
            at = find(shot, pic)
            if at:
                return at, shot
            time.sleep(0.2)
        return None, shot

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(3)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
