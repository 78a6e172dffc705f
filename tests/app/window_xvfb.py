#!/usr/bin/python3
"""The editor's window on a virtual X display, driven by keys:

  - Filter > Solarize... shows its preview in the view while the dialog is
    up (the pixels the Solarize rule gives at the dialog's first threshold),
    and Escape cancels it: the view shows the picture unchanged again;
  - File > Print... (ctrl+p) accepted with Return prints on the default
    destination, a queue of a private CUPS daemon, the very PDF that
    `vividrome-cli print --device --queue` sends to a second queue;
  - File > Image Scan... accepted with Return scans from SANE's test
    backend into a new document that shows scanimage's picture.

Exit 0 passed, 1 failed, 77 skipped (no Xvfb, xdotool, ImageMagick's import
or the CUPS daemon)."""
import argparse
import base64
import ctypes
import os
import socket
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xvfb_session import Picture, Session, find, read_ppm, require_tools, skip  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
CUPS_SCRIPT = os.path.join(os.path.dirname(HERE), "print", "cups_daemon.sh")
DEFAULT_QUEUE = "vivid-raw"  # made by cups_daemon.sh
REFERENCE_QUEUE = "vivid-reference"

require_tools()
for path in ("/usr/sbin/cupsd", "/usr/lib/cups/filter/gziptoany", "/usr/sbin/lpadmin"):
    if not os.path.exists(path):
        skip(path + " is missing (install cups-daemon, cups-client, cups-core-drivers)")


def picture(width, height):
    """A picture whose neighbouring pixels all differ, with bytes on both
    sides of 128 so that solarizing changes it everywhere."""
    return Picture(width, height, bytes(
        v for y in range(height) for x in range(width)
        for v in ((x * 37 + y * 11 + 5) % 256, (x * 7 + y * 53 + 40) % 256, (x * x + y * 29 + 200) % 256)))


def solarized(image, threshold):
    """GL_Solarize's rule: i < 128 becomes i * t / 128, i >= 128 becomes
    (255 - i) * t / 128, integer division, clamped to 0..255."""
    table = bytes(max(0, min(255, (i if i < 128 else 255 - i) * threshold // 128)) for i in range(256))
    return Picture(image.size[0], image.size[1], image.data.translate(table))


def masked_pdf(path):
    """The PDF's bytes without its creation time."""
    data = open(path, "rb").read()
    at = data.find(b"/CreationDate (")
    if at >= 0:
        data = data[:at] + data[data.find(b")", at):]
    return data


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class PrintSession(Session):
    """A session with a private CUPS daemon."""

    def __init__(self, app, folder):
        super().__init__(app, folder)
        self.cups_dir = None

    def start_cups(self):
        """The private daemon with its queue as the default destination and a
        second pass-through queue for the reference print."""
        # cupsd outlives the script that starts it: as its subreaper this
        # process can reap it after the stop.
        PR_SET_CHILD_SUBREAPER = 36
        ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
        os.chmod(self.folder, 0o755)  # the queue's filter may run as user lp
        self.cups_dir = os.path.join(self.folder, "cups")
        started = self.run("/bin/sh", CUPS_SCRIPT, "start", self.cups_dir, str(free_port()), timeout=30)
        if started.returncode != 0:
            raise RuntimeError("cups_daemon.sh start failed: " + started.stderr)
        self.env["CUPS_SERVER"] = started.stdout.splitlines()[0]
        for command in (["lpadmin", "-d", DEFAULT_QUEUE],
                        ["lpadmin", "-p", REFERENCE_QUEUE, "-v", "file:" + self.output(REFERENCE_QUEUE), "-P",
                         os.path.join(self.cups_dir, "etc", "vivid-raw.ppd"), "-E"],
                        ["cupsenable", REFERENCE_QUEUE], ["cupsaccept", REFERENCE_QUEUE]):
            done = self.run(*command)
            if done.returncode != 0:
                raise RuntimeError(" ".join(command) + " failed: " + done.stderr)

    def output(self, queue):
        return os.path.join(self.cups_dir, "out", "job.prn" if queue == DEFAULT_QUEUE else queue + ".prn")

    def wait_for_output(self, queue, seconds=20):
        """True once the queue's device file exists and the queue is empty."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            pending = self.run("lpstat", "-o", queue)
            if os.path.exists(self.output(queue)) and pending.returncode == 0 and not pending.stdout.strip():
                return True
            time.sleep(0.2)
        return False

    def stop(self):
        super().stop()
        if self.cups_dir:
            subprocess.run(["/bin/sh", CUPS_SCRIPT, "stop", self.cups_dir], capture_output=True, timeout=30)
            try:
                while os.waitpid(-1, os.WNOHANG)[0] > 0:
                    pass
            except ChildProcessError:
                pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--cli", required=True)
    options = parser.parse_args()
    failures = []
    keep = os.environ.get("TMPDIR", "/tmp")

    def check(ok, what, shot=None, name=None):
        print(("ok    " if ok else "FAIL  ") + what)
        if not ok:
            failures.append(what)
            if shot is not None and name:
                path = os.path.join(keep, name)
                shot.save_png(path)
                print("      the screen is in " + path)
        return ok

    with tempfile.TemporaryDirectory(prefix="vivid-window-") as folder:
        session = PrintSession(options.app, folder)
        try:
            session.start_display()
            session.start_cups()
            pic = picture(64, 40)
            path = os.path.join(folder, "picture.png")
            pic.save_png(path)

            # SANE's test backend alone, one device.
            scanning = os.path.exists("/usr/bin/scanimage")
            if scanning:
                sane = os.path.join(folder, "sane")
                os.makedirs(sane)
                with open(os.path.join(sane, "dll.conf"), "w") as f:
                    f.write("test\n")
                with open(os.path.join(sane, "test.conf"), "w") as f:
                    f.write('number_of_devices 1\nresolution 50\ntest-picture "Color pattern"\n')
                session.env["SANE_CONFIG_DIR"] = sane

            editor = session.editor(path)
            main_window = session.window("Vividrome", 15)
            if not check(main_window != "", "the editor shows its window"):
                return 1
            at, shot = session.wait_for(pic)
            if not check(at is not None, "the picture is on the screen at 1:1 (%s)" % (at,), shot,
                         "vivid-window-start.png"):
                return 1

            # Filter > Solarize...: the fifteenth entry (the menu opens on
            # Blur; separators are skipped).
            session.keys(main_window, "alt+t", *["Down"] * 14, "Return")
            dialog = session.window("^Solarize( |$)", 10)
            check(dialog != "", "the Solarize dialog is up (windows: %s)" % session.titles())
            at, shot = session.wait_for(solarized(pic, 127))
            check(at is not None, "the view previews the solarized picture (%s)" % (at,), shot,
                  "vivid-window-solarize.png")
            check(find(shot, pic) is None, "the unchanged picture is no longer shown", shot,
                  "vivid-window-solarize.png")

            # Escape cancels: the document is as it was.
            if dialog:
                session.keys(dialog, "Escape")
            deadline = time.monotonic() + 5
            while session.visible("^Solarize( |$)") and time.monotonic() < deadline:
                time.sleep(0.1)
            check(not session.visible("^Solarize( |$)"), "Escape closes the dialog")
            at, shot = session.wait_for(pic)
            check(at is not None, "after Cancel the view shows the picture unchanged (%s)" % (at,), shot,
                  "vivid-window-cancel.png")

            # File > Print... with its defaults: the band path onto the
            # default destination.
            session.keys(main_window, "ctrl+p")
            print_dialog = session.window("^Print( |$)", 10)
            check(print_dialog != "", "ctrl+p opens the Print dialog (windows: %s)" % session.titles())
            if print_dialog:
                session.keys(print_dialog, "Return")
            printed = session.wait_for_output(DEFAULT_QUEUE)
            check(printed, "the default queue received the print")
            reference = subprocess.run([options.cli, "print", path, "--device", "--queue", REFERENCE_QUEUE],
                                       env=session.env, capture_output=True, text=True, timeout=60)
            check(reference.returncode == 0, "vividrome-cli prints on the second queue (%s)" % reference.stderr.strip())
            if printed and reference.returncode == 0 and session.wait_for_output(REFERENCE_QUEUE):
                sent = masked_pdf(session.output(DEFAULT_QUEUE))
                expected = masked_pdf(session.output(REFERENCE_QUEUE))
                check(sent.startswith(b"%PDF-"), "the queue received a PDF (%r)" % sent[:16])
                check(sent == expected, "the dialog's print is the command line's PDF (%d and %d bytes)" %
                      (len(sent), len(expected)))
            else:
                check(False, "the second queue received the command line's print")

            # File > Image Scan... (from the menu's end upwards past Exit, the
            # recent file, Printer Setup, Page Setup, Print and Select Scan
            # Source) from SANE's test backend, Return accepting
            # the dialog's defaults: colour (the kind the acquisition
            # prefers), the device's 50 dpi and its 80 x 100 mm area. The new
            # document shows what scanimage gives for the same.
            if scanning:
                oracle = session.run("/bin/sh", "-c", "scanimage -d test:0 --format=pnm --mode Color --resolution 50 "
                                     "-l 0 -t 0 -x 80 -y 100 | base64 -w0")
                scanned = read_ppm(base64.b64decode(oracle.stdout))
                session.keys(main_window, "alt+f", *["Up"] * 7, "Return")
                scan_dialog = session.window("^Image Scan - test:0", 10)
                check(scan_dialog != "", "Image Scan... opens the scan dialog (windows: %s)" % session.titles())
                if scan_dialog:
                    session.keys(scan_dialog, "Return")
                at, shot = session.wait_for(scanned)
                check(at is not None, "the scanned picture is shown at 1:1 (%s)" % (at,), shot, "vivid-window-scan.png")
            else:
                print("skip  scanning (no scanimage)")
            check(editor.poll() is None, "the editor still runs")
        except (RuntimeError, subprocess.TimeoutExpired) as error:
            check(False, str(error))
        finally:
            session.stop()
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
