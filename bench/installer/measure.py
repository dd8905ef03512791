#!/usr/bin/env python3
"""Measures the installer's start-up and install times (see run). Usage: measure.py BUILD"""

import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(HERE)), "tests", "e2e"))
import installer_session as inst  # noqa: E402

# The dialog is centred on the screen under the pointer: on a 1280 by 1024 display at (390, 357).
ORIGIN = ((1280 - 500) // 2, (1024 - 310) // 2)
# A point of the welcome picture well away from any text: the dark red above the logo.
WELCOME_PROBE = (60, 60)
WELCOME_COLOUR = (110, 14, 18)


def _is_welcome(rgb):
    return all(abs(a - b) <= 3 for a, b in zip(rgb, WELCOME_COLOUR))


def first_frame_seconds(s):
    s.origin = ORIGIN
    if _is_welcome(s.pixel(WELCOME_PROBE)):
        raise inst.InstallerError("a dialog is on the screen before the start")
    started = time.perf_counter()
    s.process = subprocess.Popen([s.wine_run, s.exe], env=s.env(), stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while True:
        if _is_welcome(s.pixel(WELCOME_PROBE)):
            return time.perf_counter() - started
        if time.perf_counter() - started > 60:
            raise inst.InstallerError("no dialog on the screen within 60 s")


def install_seconds(s):
    s.click(inst.MAIN_BUTTON)
    started = time.perf_counter()
    s.wait_page(("installing",), timeout=120, fail_on=("failed",))
    s.wait_page(("welcome",), timeout=1200, fail_on=("failed",))
    return time.perf_counter() - started


def main():
    build = sys.argv[1]
    # The reference release's service package in place of the sample one.
    base_zip = os.path.join(os.environ["KAV_BUCKET_ROOT_UNIX"], "9.5KAvrindelIE", "base.zip")
    shutil.copyfile(os.environ["KAVRINDEL_BENCH_BASE_ZIP"], base_zip)
    megabytes = sum(os.path.getsize(os.path.join(folder, name))
                    for folder, _, names in os.walk(os.path.join(os.environ["KAV_BUCKET_ROOT_UNIX"], "9.5KAvrindelIE"))
                    for name in names) // 1000000
    s = inst.Session(build, log=lambda text: None)
    s.reset_product()
    s.wine("cmd", "/c", "exit", check=False)  # boots the prefix and the Wine server once
    starts, installs = [], []
    try:
        for round_number in (1, 2, 3):
            s.reset_product()
            start = first_frame_seconds(s)
            time.sleep(1)
            install = install_seconds(s)
            s.click(inst.CLOSE_BOX)
            s.wait_exit()
            time.sleep(0.5)
            starts.append(start)
            installs.append(install)
            print("round %d: first frame %.2f s after the process start; Install to finished page %.2f s"
                  % (round_number, start, install), flush=True)
    finally:
        s.kill()
    print("best: first frame %.2f s (Wine's own start included); install of the %s MB reference release %.2f s"
          % (min(starts), megabytes, min(installs)))


if __name__ == "__main__":
    main()
