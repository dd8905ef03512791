#!/usr/bin/env python3
"""Measures the installer's start-up and install times (see run).

    measure.py BUILD [--startup-only]

Start-up: from the start of the process to the first painted frame on the screen, for the
installer and for its peer, bench/installer/minimal_window.exe (a Win32 program that paints one
window, built with the same toolchain), both under the same Wine in the same run, in rounds in which each
goes first in turn, after a pause that lets Wine finish with the previous program. Printed side by
side with the difference; the median is the figure to read (single starts vary by 50 ms and more).
"""

import ctypes
import ctypes.util
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "e2e"))
import installer_session as inst  # noqa: E402

# Both windows are centred on the 1280 by 1024 display, the dialog at (390, 357).
ORIGIN = ((1280 - 500) // 2, (1024 - 310) // 2)
# A point of the welcome picture well away from any text: the dark red above the logo.
PROBE = (60, 60)
WELCOME_COLOUR = (110, 14, 18)
MINIMAL_COLOUR = (0, 160, 80)  # MinimalWindow.cpp's fill
STARTUP_ROUNDS = 12  # even: each program goes first in half of the rounds
SETTLE_S = 1.0
POLL_S = 0.001
INSTALL_ROUNDS = 3


class _Funcs(ctypes.Structure):
    _fields_ = [("create_image", ctypes.c_void_p), ("destroy_image", ctypes.c_void_p),
                ("get_pixel", ctypes.CFUNCTYPE(ctypes.c_ulong, ctypes.c_void_p, ctypes.c_int, ctypes.c_int)),
                ("put_pixel", ctypes.c_void_p), ("sub_image", ctypes.c_void_p), ("add_pixel", ctypes.c_void_p)]


class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong),
                ("obdata", ctypes.c_void_p), ("f", _Funcs)]


class ScreenPixel:
    """One pixel of the X screen, read straight from the server through libX11: a fraction of a
    millisecond per reading, where a screenshot with import takes tens of milliseconds and would
    blur a first frame by as much."""

    ALL_PLANES = ctypes.c_ulong(0xFFFFFFFFFFFFFFFF)
    Z_PIXMAP = 2

    def __init__(self):
        x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XGetImage.restype = ctypes.POINTER(_XImage)
        x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                  ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x11.XGetSubImage.restype = ctypes.POINTER(_XImage)
        x11.XGetSubImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                     ctypes.c_uint, ctypes.c_ulong, ctypes.c_int, ctypes.POINTER(_XImage),
                                     ctypes.c_int, ctypes.c_int]
        self.x11 = x11
        self.display = x11.XOpenDisplay(None)
        if not self.display:
            raise inst.InstallerError("cannot open the X display")
        self.root = x11.XDefaultRootWindow(self.display)
        # One 1 by 1 image, filled again by every reading.
        self.image = x11.XGetImage(self.display, self.root, 0, 0, 1, 1, self.ALL_PLANES, self.Z_PIXMAP)

    def at(self, x, y):
        self.x11.XGetSubImage(self.display, self.root, x, y, 1, 1, self.ALL_PLANES, self.Z_PIXMAP, self.image, 0, 0)
        image = self.image.contents
        value = image.f.get_pixel(ctypes.cast(self.image, ctypes.c_void_p), 0, 0)

        def channel(mask):
            shift = (mask & -mask).bit_length() - 1
            return (value & mask) >> shift
        return channel(image.red_mask), channel(image.green_mask), channel(image.blue_mask)


def _near(rgb, colour):
    return all(abs(a - b) <= 3 for a, b in zip(rgb, colour))


def first_frame_seconds(s, screen, exe, colour):
    """Starts exe and waits for colour at the probe point; the seconds from the start."""
    x, y = ORIGIN[0] + PROBE[0], ORIGIN[1] + PROBE[1]
    if _near(screen.at(x, y), colour):
        raise inst.InstallerError("a window is on the screen before the start")
    started = time.perf_counter()
    s.process = subprocess.Popen([s.wine_run, exe], env=s.env(), stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while not _near(screen.at(x, y), colour):
        if time.perf_counter() - started > 60:
            raise inst.InstallerError("no window on the screen within 60 s")
        time.sleep(POLL_S)
    return time.perf_counter() - started


def close_installer(s):
    s.probe("close")  # the system's close command
    s.wait_exit()


def startup(s, screen, minimal_exe):
    installer, minimal = [], []

    def run_minimal():
        minimal.append(first_frame_seconds(s, screen, minimal_exe, MINIMAL_COLOUR))
        s.wait_exit()  # it closes itself

    def run_installer():
        installer.append(first_frame_seconds(s, screen, s.exe, WELCOME_COLOUR))
        close_installer(s)

    for round_number in range(1, STARTUP_ROUNDS + 1):
        # The two take turns at going first: Wine is still tearing down the window of a program
        # that has just ended, and whichever starts right after one pays for it (about 20 ms here).
        # A pause before each start keeps that out of both figures.
        for run in ((run_minimal, run_installer) if round_number % 2 else (run_installer, run_minimal)):
            time.sleep(SETTLE_S)
            run()
        print("round %d: first frame  installer %6.0f ms  minimal program %6.0f ms  difference %+5.0f ms"
              % (round_number, installer[-1] * 1000, minimal[-1] * 1000, (installer[-1] - minimal[-1]) * 1000),
              flush=True)
    for name, pick in (("best", min), ("median", statistics.median)):
        print("%-6s first frame  installer %6.0f ms  minimal program %6.0f ms  difference %+5.0f ms"
              % (name, pick(installer) * 1000, pick(minimal) * 1000, (pick(installer) - pick(minimal)) * 1000))


def install_seconds(s):
    s.click(inst.MAIN_BUTTON)
    started = time.perf_counter()
    s.wait_page(("installing",), timeout=120, fail_on=("failed",))
    s.wait_page(("welcome",), timeout=1200, fail_on=("failed",))
    return time.perf_counter() - started


def installs(s, screen):
    # The reference release's service package in place of the sample one.
    base_zip = os.path.join(os.environ["KAV_BUCKET_ROOT_UNIX"], "9.5KAvrindelIE", "base.zip")
    shutil.copyfile(os.environ["KAVRINDEL_BENCH_BASE_ZIP"], base_zip)
    # Signed again with the local bucket's test key, as a vendor signs a changed release: the
    # installer checks every package against the signed manifest.
    signing = os.path.join(SOURCE_DIR, "tools", "release-signing")
    subprocess.run([sys.executable, os.path.join(signing, "sign_release.py"), "--folder",
                    os.environ["KAV_BUCKET_ROOT_UNIX"], "--key",
                    os.path.join(signing, "test-key", "private-key-TESTS-ONLY.pem")],
                   stdout=subprocess.DEVNULL, check=True)
    megabytes = sum(os.path.getsize(os.path.join(folder, name))
                    for folder, _, names in os.walk(os.path.join(os.environ["KAV_BUCKET_ROOT_UNIX"], "9.5KAvrindelIE"))
                    for name in names) // 1000000
    times = []
    for round_number in range(1, INSTALL_ROUNDS + 1):
        s.reset_product()
        first_frame_seconds(s, screen, s.exe, WELCOME_COLOUR)
        s.origin = ORIGIN
        time.sleep(1)
        times.append(install_seconds(s))
        s.click(inst.CLOSE_BOX)
        s.wait_exit()
        time.sleep(0.5)
        print("round %d: Install to finished page %.2f s" % (round_number, times[-1]), flush=True)
    print("best: install of the %s MB reference release %.2f s" % (megabytes, min(times)))


def main():
    build = sys.argv[1]
    startup_only = "--startup-only" in sys.argv[2:]
    minimal_exe = os.path.join(os.path.abspath(build), "bench", "installer", "minimal_window.exe")
    s = inst.Session(build, log=lambda text: None)
    screen = ScreenPixel()
    s.reset_product()
    # Boots the prefix and starts the Wine server and the desktop process, as a Windows session
    # has its desktop before any program starts: otherwise the first window of every program
    # would start the desktop again, a few hundred milliseconds that belong to neither program.
    s.wine("rundll32.exe", "user32.dll,GetDesktopWindow", check=False)
    try:
        startup(s, screen, minimal_exe)
        if not startup_only:
            installs(s, screen)
    finally:
        s.kill()


if __name__ == "__main__":
    main()
