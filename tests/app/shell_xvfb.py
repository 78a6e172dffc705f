#!/usr/bin/python3
"""The editor on a virtual X display: it shows a picture pixel for pixel,
a second start hands its file to the running editor and ends with status 0,
and an empty second start ends at once without changing the screen.

Exit 0 passed, 1 failed, 77 skipped (no Xvfb, xdotool or ImageMagick's
import)."""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time
import urllib.parse

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xvfb_session import Picture, Session, require_tools  # noqa: E402

require_tools()


def read_settings(path):
    """The INI file as "Section/Key" -> text, with the file's quoting and
    %-encoding undone."""
    values = {}
    section = ""
    if not os.path.exists(path):
        return values
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\n")
        if line.startswith("[") and line.endswith("]"):
            section = urllib.parse.unquote(line[1:-1])
        elif "=" in line:
            key, value = line.split("=", 1)
            if len(value) >= 2 and value[0] == value[-1] == '"':
                value = value[1:-1].replace('\\"', '"').replace("\\\\", "\\")
            values[section + "/" + urllib.parse.unquote(key)] = value
    return values


def picture(width, height, seed):
    """A picture no other part of the screen looks like: every pixel differs
    from its neighbours."""
    return Picture(width, height, bytes(
        v for y in range(height) for x in range(width)
        for v in ((x * 37 + y * 11 + seed) % 256, (x * 7 + y * 53 + seed * 3) % 256, (x * x + y * 29 + seed) % 256)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    app = parser.parse_args().app
    failures = []

    def check(ok, what):
        print(("ok    " if ok else "FAIL  ") + what)
        if not ok:
            failures.append(what)

    with tempfile.TemporaryDirectory(prefix="vivid-xvfb-") as folder:
        session = Session(app, folder)
        try:
            session.start_display()
            first_pic, second_pic = picture(48, 36, 1), picture(40, 44, 90)
            first_path = os.path.join(folder, "first.png")
            second_path = os.path.join(folder, "second picture.png")
            first_pic.save_png(first_path)
            second_pic.save_png(second_path)

            first = session.editor(first_path)
            shown = subprocess.run(["/usr/bin/xdotool", "search", "--sync", "--onlyvisible", "--name", "Vividrome"],
                                   env=session.env, capture_output=True, timeout=15)
            check(shown.returncode == 0, "the first editor shows its window")
            at, shot = session.wait_for(first_pic)
            check(at is not None, "the first picture is on the screen at 1:1 (%s)" % (at,))
            if at is None:
                shot.save_png(os.path.join(os.environ.get("TMPDIR", "/tmp"), "vivid-xvfb-first.png"))
            windows = session.visible("Vividrome")

            # A second start with a file: hands it over and ends with 0.
            second = session.editor(second_path)
            try:
                code = second.wait(10)
            except subprocess.TimeoutExpired:
                code = None
            check(code == 0, "the second start ends with status 0 (%s)" % code)
            at, shot = session.wait_for(second_pic)
            check(at is not None, "the first editor shows the second picture (%s)" % (at,))
            check(first.poll() is None, "the first editor still runs")
            check(session.visible("Vividrome") == windows, "no second main window appeared")

            # An empty second start ends at once and changes nothing.
            time.sleep(0.5)
            before = session.screen()
            started = time.monotonic()
            empty = session.editor()
            try:
                code = empty.wait(5)
            except subprocess.TimeoutExpired:
                code = None
            check(code == 0, "the empty second start ends with status 0 (%s)" % code)
            check(code is not None and time.monotonic() - started < 3, "it ends at once")
            time.sleep(0.5)
            check(session.screen().data == before.data, "the screen did not change")
            check(session.visible("Vividrome") == windows, "still one main window")

            # The start registered the file types under the session's data folder.
            desktop = os.path.join(session.env["XDG_DATA_HOME"], "applications", "com.morvane.Vividrome.desktop")
            deadline = time.monotonic() + 5
            while not os.path.exists(desktop) and time.monotonic() < deadline:
                time.sleep(0.1)
            text = open(desktop).read() if os.path.exists(desktop) else ""
            check('Exec="%s" %%F' % os.path.abspath(app) in text, "the desktop entry runs this editor")

            # File > Exit: the settings are written as the editor ends.
            window = windows[0] if windows else ""
            subprocess.run(["/usr/bin/xdotool", "windowfocus", "--sync", window], env=session.env)
            subprocess.run(["/usr/bin/xdotool", "key", "--window", window, "alt+f"], env=session.env)
            time.sleep(0.5)
            subprocess.run(["/usr/bin/xdotool", "key", "x"], env=session.env)
            try:
                code = first.wait(10)
            except subprocess.TimeoutExpired:
                code = None
            check(code == 0, "File > Exit ends the editor with status 0 (%s)" % code)
            values = read_settings(os.path.join(session.env["XDG_CONFIG_HOME"], "Morvane", "Vividrome.ini"))
            check(re.fullmatch(r"0,1,-1,-1,-1,-1(,-?\d+){4}", values.get("Settings/WindowPos", "")) is not None,
                  "the window placement is stored (%s)" % values.get("Settings/WindowPos"))
            check(values.get("1.20/ImagePath") == folder, "ImagePath is the folder opened last")
            check(all("1.20/" + key in values for key in ("WorkPath", "ICMPathMonitor", "ICMPathPrinter",
                                                          "ICMPathScanner", "ICMPathSeparate")),
                  "the machine strings are stored")
            check([values.get("Recent File List/File1"), values.get("Recent File List/File2")] ==
                  [second_path, first_path], "the recent files, newest first")
        finally:
            session.stop()
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
