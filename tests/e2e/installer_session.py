"""Drives the real installer executable under Wine on an X display, as a person would.

The dialog is found through installer_probe.exe (a small Windows console tool of the build), clicked
and typed at with xdotool, photographed with ImageMagick's import, and its page is told from the colour of a few
pixels of the two background pictures. Everything the installer leaves behind is read back from the
Wine prefix of the build folder. Used by the end-to-end tests and by scripts/demo.
"""

import getpass
import glob
import os
import re
import shutil
import subprocess
import tempfile
import time

# Places in the dialog's client area (500 by 310).
MAIN_BUTTON = (250, 220)
CUSTOM_LINK = (447, 300)
BROWSE_BUTTON = (445, 167)
CLOSE_BOX = (488, 12)
# In the installing and failure pictures this spot lies in the white band; in the welcome and
# finished picture it is dark red.
BAND_PROBE = (100, 285)
# The Custom link's area: light text on the welcome page, bare picture on the finished page.
CUSTOM_LINK_AREA = (400, 290, 495, 310)
FREE_SPOT = (60, 60)

PACKAGE_CODE = "201805"
PRODUCT_FOLDER = "KAvrindel201805v9.5"
PRODUCT_EXE = "kavrindel v9.5.exe"
UNINSTALL_KEY = r"HKLM\SOFTWARE\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Kavrindel_201805v9.5"
SHORTCUT_NAME = "Qerlix Trading Systemv9.5.lnk"
LANGUAGE_IDS = {"en_US.UTF-8": 1033, "zh_TW.UTF-8": 1028, "zh_CN.UTF-8": 2052, "zh_HK.UTF-8": 1028}
WARNING_CAPTIONS = {1033: "Warn", 1028: "警告", 2052: "警告"}
IDOK, IDCANCEL = 1, 2


class InstallerError(AssertionError):
    pass


def _is_white(rgb):
    return all(c >= 235 for c in rgb)


def _is_light(rgb):
    return all(c >= 190 for c in rgb)


def _is_dark_red(rgb):
    return rgb[0] >= 30 and rgb[1] < 40 and rgb[2] < 40


class Session:
    """One run of the installer in the build's Wine prefix."""

    def __init__(self, build_dir, lang="en_US.UTF-8", shots_dir=None, log=print):
        self.build_dir = os.path.abspath(build_dir)
        self.lang = lang
        self.language_id = LANGUAGE_IDS.get(lang, 2052)
        self.shots_dir = shots_dir
        self.log = log
        self.wine_run = os.path.join(self.build_dir, "wine-run")
        self.exe = os.path.join(self.build_dir, "KavrindelInstaller.exe")
        self.probe_exe = os.path.join(self.build_dir, "tests", "e2e", "installer_probe.exe")
        self.prefix = os.environ.get("KAVRINDEL_WINEPREFIX", os.path.join(self.build_dir, "wine"))
        self.drive_c = os.path.join(self.prefix, "drive_c")
        user = getpass.getuser()
        self.local_app_data = os.path.join(self.drive_c, "users", user, "AppData", "Local")
        self.install_dir = os.path.join(self.local_app_data, PRODUCT_FOLDER)
        self.temp_dir = self.install_dir + "temp"
        self.install_dir_windows = "C:\\users\\%s\\AppData\\Local\\%s" % (user, PRODUCT_FOLDER)
        self.shortcut = os.path.join(self.drive_c, "users", "Public", "Desktop", SHORTCUT_NAME)
        self.process = None
        self.origin = None

    # --- the environment ---------------------------------------------------------------------

    def env(self, **extra):
        env = dict(os.environ)
        env["LANG"] = self.lang
        env["LC_ALL"] = self.lang
        env.update(extra)
        return env

    def wine(self, *args, check=True, timeout=120):
        # Output goes through files, not pipes: a Wine server or service that this call happens to
        # start inherits the handles and would keep a pipe open long after the program has ended.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run([self.wine_run] + list(args), env=self.env(), stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=err, timeout=timeout).returncode
            out.seek(0)
            err.seek(0)
            result = subprocess.CompletedProcess(args, code, out.read(), err.read())
        if check and result.returncode != 0:
            raise InstallerError("%s failed (%d): %s" % (" ".join(args), result.returncode,
                                                         result.stderr.decode("utf-8", "replace")))
        return result

    def probe(self, *args, timeout_ms=30000):
        result = self.wine(self.probe_exe, *(list(args) + [str(timeout_ms)]), check=False,
                           timeout=timeout_ms / 1000 + 60)
        return result.returncode, result.stdout.decode("utf-8", "replace").strip()

    def reg(self, *args, check=True):
        return self.wine("reg", *args, check=check)

    def reset_product(self):
        """Removes every trace of an earlier install: folders, registry entries, shortcut."""
        for path in (self.install_dir, self.temp_dir):
            shutil.rmtree(path, ignore_errors=True)
        if os.path.exists(self.shortcut):
            os.remove(self.shortcut)
        self.reg("delete", UNINSTALL_KEY, "/f", check=False)
        # The display at 100 %, unless a scenario sets another scale itself.
        self.reg("add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d", "96", "/f",
                 check=False)

    # --- the installer process ---------------------------------------------------------------

    def start(self):
        self.process = subprocess.Popen([self.wine_run, self.exe], env=self.env(), stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        code, out = self.probe("dialog", timeout_ms=60000)
        if code != 0:
            raise InstallerError("the installer's dialog did not appear")
        x, y, w, h = (int(v) for v in out.split())
        if (w, h) != (500, 310):
            raise InstallerError("the dialog is %dx%d, not 500x310" % (w, h))
        self.origin = (x, y)
        time.sleep(0.5)  # the first paint
        return self.origin

    def wait_exit(self, timeout=30):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise InstallerError("the installer did not end within %d s" % timeout)

    def kill(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def dialog_gone(self, timeout_ms=10000):
        return self.probe("gone", timeout_ms=timeout_ms)[0] == 0

    def is_active(self):
        """Whether the dialog is the foreground window, the one Windows gives the keyboard to."""
        return self.probe("active")[0] == 0

    # --- pointer and screen ------------------------------------------------------------------

    def screen(self, point):
        return (self.origin[0] + point[0], self.origin[1] + point[1])

    def move(self, point):
        x, y = self.screen(point)
        self.move_screen(x, y)

    @staticmethod
    def move_screen(x, y):
        # Arrive from a neighbouring pixel, so that the window sees a move to the very spot before
        # the press (the installer takes the press's position from the pointer, not the message).
        subprocess.run(["xdotool", "mousemove", "--sync", str(x + 1), str(y + 1)], check=True)
        time.sleep(0.1)
        subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y)], check=True)
        time.sleep(0.3)

    def click(self, point):
        self.move(point)
        subprocess.run(["xdotool", "click", "1"], check=True)
        time.sleep(0.4)

    def click_screen(self, x, y):
        self.move_screen(x, y)
        subprocess.run(["xdotool", "click", "1"], check=True)
        time.sleep(0.4)

    # --- keyboard ------------------------------------------------------------------------------

    def _rest_pointer(self):
        # Windows gives the keys to the foreground window wherever the pointer is. An X display
        # without a window manager gives them to the window under the pointer, which Wine then hands
        # to its foreground window; so the pointer rests on a free spot of the dialog (no button,
        # nothing hovered). Whether the dialog is the foreground window is is_active's question.
        x, y = self.screen(FREE_SPOT)
        # xdotool's --sync waits for a move, so a pointer already in place would block it.
        here = subprocess.run(["xdotool", "getmouselocation", "--shell"], stdout=subprocess.PIPE,
                              check=True).stdout.decode()
        if "X=%d\n" % x not in here or "Y=%d\n" % y not in here:
            subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y)], check=True)

    def key(self, *names):
        """Taps keys (X key names: Return, Escape, alt+F4) one after the other."""
        self._rest_pointer()
        for name in names:
            subprocess.run(["xdotool", "key", name], check=True)
            time.sleep(0.3)

    def key_down(self, name):
        self._rest_pointer()
        subprocess.run(["xdotool", "keydown", name], check=True)

    def key_up(self, name):
        subprocess.run(["xdotool", "keyup", name], check=True)
        time.sleep(0.3)

    def capture(self):
        """One picture of the dialog: a function from a client point to its (r, g, b)."""
        x, y = self.origin
        data = subprocess.run(["import", "-window", "root", "-crop", "500x310+%d+%d" % (x, y), "+repage",
                               "-depth", "8", "ppm:-"], stdout=subprocess.PIPE, check=True).stdout
        # Binary PPM: "P6", width, height, maximum value, then the RGB bytes.
        fields = []
        pos = 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        pixels = data[pos + 1:]
        width = int(fields[1])
        if fields[0] != b"P6" or len(pixels) < width * int(fields[2]) * 3:
            raise InstallerError("cannot read the screen")

        def at(point):
            offset = (point[1] * width + point[0]) * 3
            return tuple(pixels[offset:offset + 3])
        return at

    def pixel(self, point):
        return self.capture()(point)

    def page_once(self):
        at = self.capture()
        if not _is_white(at(BAND_PROBE)):
            return "welcome"
        return "failed" if _is_light(at(CLOSE_BOX)) else "installing"

    def on_finished_page(self):
        """The finished page: the welcome picture with bare dark red where the Custom link would
        be (not the link's light text, nor the black of an area that no paint has reached yet),
        in two pictures a moment apart."""
        def once():
            at = self.capture()
            if _is_white(at(BAND_PROBE)):
                return False
            left, top, right, bottom = CUSTOM_LINK_AREA
            return all(_is_dark_red(at((x, y))) for x in range(left, right) for y in range(top, bottom))
        if not once():
            return False
        time.sleep(0.1)
        return once()

    def page(self):
        """'welcome' (also the finished page, which has the same picture), 'installing' or 'failed'.
        The same answer twice in a row, so that a picture caught half-way through a repaint counts
        for nothing."""
        previous = self.page_once()
        while True:
            time.sleep(0.1)
            current = self.page_once()
            if current == previous:
                return current
            previous = current

    def wait_page(self, wanted, timeout=60, fail_on=()):
        end = time.time() + timeout
        while True:
            current = self.page()
            if current in wanted:
                return current
            if current in fail_on:
                raise InstallerError("the dialog shows the %s page" % current)
            if time.time() > end:
                raise InstallerError("no %s page within %d s (still %s)" % ("/".join(wanted), timeout, current))
            time.sleep(0.2)

    def screenshot(self, name):
        if not self.shots_dir:
            return None
        os.makedirs(self.shots_dir, exist_ok=True)
        path = os.path.join(self.shots_dir, name + ".png")
        x, y = self.origin
        subprocess.run(["import", "-window", "root", "-crop", "500x310+%d+%d" % (x, y), "+repage", path],
                       check=True)
        self.log("screenshot: %s" % path)
        return path

    # --- message boxes -----------------------------------------------------------------------

    def warning_caption(self):
        return WARNING_CAPTIONS.get(self.language_id, "警告")

    def answer_warning(self, button):
        code, out = self.probe("button", self.warning_caption(), str(button), timeout_ms=30000)
        if code != 0:
            raise InstallerError("no reinstall warning appeared")
        x, y = (int(v) for v in out.split())
        self.click_screen(x, y)

    def warning_shown(self, timeout_ms=3000):
        return self.probe("button", self.warning_caption(), str(IDOK), timeout_ms=timeout_ms)[0] == 0

    # --- what the install leaves behind ------------------------------------------------------

    def install_logs(self):
        return sorted(glob.glob(os.path.join(self.install_dir, "kavrindellog", "*install.log")))

    @staticmethod
    def read_ini(path):
        """{section: {key: value}} with lower-case names, as the profile API compares them."""
        sections = {}
        current = None
        with open(path, "rb") as f:
            for raw in f.read().decode("gbk", "replace").splitlines():
                line = raw.strip()
                if line.startswith("[") and line.endswith("]"):
                    current = sections.setdefault(line[1:-1].lower(), {})
                elif "=" in line and current is not None:
                    key, value = line.split("=", 1)
                    current[key.strip().lower()] = value.strip()
        return sections

    def standin_record(self, timeout=20):
        path = os.path.join(self.install_dir, "standin-record.txt")
        end = time.time() + timeout
        while time.time() < end:
            if os.path.exists(path):
                text = open(path, encoding="utf-8", errors="replace").read()
                if "pid=" in text:
                    return dict(line.split("=", 1) for line in text.splitlines() if "=" in line)
            time.sleep(0.2)
        raise InstallerError("the installed program did not start (no %s)" % path)

    def stop_standin(self, record):
        self.wine("taskkill", "/F", "/PID", record["pid"].strip(), check=False)
        os.remove(os.path.join(self.install_dir, "standin-record.txt"))

    def uninstall_entry(self):
        result = self.reg("query", UNINSTALL_KEY, check=False)
        if result.returncode != 0:
            return None
        values = {}
        for line in result.stdout.decode("utf-8", "replace").splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                values[parts[0]] = parts[2] if len(parts) == 3 else ""
        return values
