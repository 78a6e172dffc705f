"""Times Pillow reading and writing files, for bench/peers (the codec rows).

Runs under a Python that has Pillow (bench/peers starts it with
/usr/bin/python3). Reads one JSON object from stdin:

    {"runs": N, "clock": "cpu" | "wall",
     "jobs": [{"code": STATEMENT, "path": FILE, "picture": FILE or null, "out": FILE or null}, ...]}

and prints a JSON list with one time per job in milliseconds (null when the
statement failed; the error goes to stderr). STATEMENT sees the names Image,
path (the file to read), im (the picture, opened and loaded before the
clock starts, for writes) and out (the file to write). A STATEMENT of the
form "SETUP ;; TIMED" runs SETUP first, outside the clock (to give im the
mode the work needs, say), and times only TIMED. Each job's time is
the best of N runs in this one process, so Python's start-up and Pillow's
plugin loading are not counted. The cpu clock is the process's CPU time
(Pillow's decoders and encoders run on the calling thread), which stays
steady while other work shares the machine; wall is elapsed time.
"""

import json
import sys
import time
import traceback

from PIL import Image


def main():
    request = json.load(sys.stdin)
    clock = time.process_time if request.get("clock", "cpu") == "cpu" else time.perf_counter
    runs = max(1, int(request.get("runs", 1)))
    pictures = {}
    results = []
    for job in request["jobs"]:
        try:
            setup, _, timed = job["code"].rpartition(";;")
            code = compile(timed.strip(), "<peer>", "exec")
            scope = {"Image": Image, "path": job.get("path"), "out": job.get("out"), "im": None}
            picture = job.get("picture")
            if picture:
                if picture not in pictures:
                    image = Image.open(picture)
                    image.load()
                    pictures = {picture: image}  # one picture at a time: they are large
                scope["im"] = pictures[picture]
            if setup.strip():
                exec(setup.strip(), scope)
            best = None
            for _ in range(runs):
                start = clock()
                exec(code, dict(scope))
                elapsed = clock() - start
                best = elapsed if best is None else min(best, elapsed)
            results.append(best * 1000.0)
        except Exception:
            print("peers_pillow: failed: %s\n%s" % (job["code"], traceback.format_exc(limit=2)), file=sys.stderr)
            results.append(None)
    json.dump(results, sys.stdout)
    print()


if __name__ == "__main__":
    main()
