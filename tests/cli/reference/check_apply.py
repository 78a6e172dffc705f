#!/usr/bin/env python3
"""Checks "vividrome-cli apply" against plain-Python implementations of the
operations' formulas.

    check_apply.py --cli PATH FAMILY [--only SUBSTRING]

FAMILY names a module ref_FAMILY.py next to this script; its function
cases() returns the Case list. Every case runs; the exit status is 1 when
any failed, and each failure is printed with its first differing pixels.
"""

import argparse
import importlib
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import refsupport  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("family")
    parser.add_argument("--only", default="")
    args = parser.parse_args()

    module = importlib.import_module("ref_" + args.family)
    cases = [c for c in module.cases() if args.only in c.label]
    if not cases:
        sys.exit("check_apply: no cases")
    failed = 0
    with tempfile.TemporaryDirectory(prefix="vivid-ref-") as work:
        for case in cases:
            problem = refsupport.run_case(args.cli, case, work)
            if problem:
                failed += 1
                print("FAIL %s [%s]: %s" % (case.label, " ".join(case.ops), problem))
            else:
                print("ok   %s" % case.label)
    print("%d of %d cases passed" % (len(cases) - failed, len(cases)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
