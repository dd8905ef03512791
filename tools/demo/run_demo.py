#!/usr/bin/env python3
"""The demo of scripts/demo: installs the sample release from the local bucket with the real
installer, clicking through it as a person would, and saves a picture of every page. The release is
signed with the local bucket's test key, which the default build trusts: the first install is a
verified one, and a package replaced in the bucket after signing is refused.

    run_demo.py --build-dir BUILD [--lang en_US.UTF-8]

Runs inside tools/local-bucket/with_bucket.py (which serves the sample release on the installer's
default endpoint) on an X display.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(HERE)), "tests", "e2e"))
import installer_session as inst  # noqa: E402

PREFIX = "9.5KAvrindelIE"
FIX_PACKAGE = PREFIX + "/fix/9.5.9.1_fix.zip"
PRODUCT_FILE = inst.PRODUCT_EXE


def control(action, body):
    request = urllib.request.Request(os.environ["KAV_BUCKET_CONTROL"] + "/" + action, data=json.dumps(body).encode(),
                                     method="POST", headers={"Content-Type": "application/json"})
    urllib.request.urlopen(request, timeout=10).read()


def fault(body):
    control("faults", body)


def requested_keys():
    """The object keys the installer asked the bucket for since the last reset."""
    with urllib.request.urlopen(os.environ["KAV_BUCKET_CONTROL"] + "/log", timeout=10) as answer:
        return [json.loads(line)["key"] for line in answer.read().decode("utf-8").splitlines()]


def say(text):
    print("demo: " + text, flush=True)


def whole_screen(s, name):
    path = os.path.join(s.shots_dir, name + ".png")
    subprocess.run(["import", "-window", "root", path], check=True)
    say("screenshot: " + path)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--build-dir", required=True)
    p.add_argument("--lang", default="en_US.UTF-8")
    args = p.parse_args()
    build = os.path.abspath(args.build_dir)
    shots = os.path.join(build, "demo")
    s = inst.Session(build, lang=args.lang, shots_dir=shots, log=say)
    try:
        say("first install, in %s" % args.lang)
        s.reset_product()
        s.start()
        s.screenshot("1-welcome")
        s.click(inst.CUSTOM_LINK)
        s.screenshot("2-custom-folder")
        s.click(inst.CUSTOM_LINK)
        # Hold the runtime package back a little, so that the progress page can be seen.
        fault({"key": FIX_PACKAGE, "count": 1, "delay_ms": 2500})
        s.click(inst.MAIN_BUTTON)
        s.wait_page(("installing",), timeout=60, fail_on=("failed",))
        time.sleep(0.5)
        s.screenshot("3-installing")
        s.wait_page(("welcome",), timeout=180, fail_on=("failed",))
        time.sleep(0.5)
        s.screenshot("4-finished")
        log_file = s.install_logs()[-1]
        install_log = open(log_file, "rb").read().decode("gbk", "replace")
        s.click(inst.MAIN_BUTTON)  # "Open"
        s.dialog_gone()
        say("installer exit code: %d" % s.wait_exit())
        keys = requested_keys()
        say("the signed release was verified: summary.ini.sig fetched (%s), every package checked against "
            "its SHA-256 before it was unpacked" % ("yes" if PREFIX + "/summary.ini.sig" in keys else "NO"))
        record = s.standin_record()
        say("the installed program was started: %s (in %s)" % (record["commandline"].strip(),
                                                              record["currentdir"].strip()))

        say("an update whose configuration package cannot be downloaded")
        fault({"key": PREFIX + "/config.zip", "count": -1, "status": 503})
        s.start()
        s.click(inst.MAIN_BUTTON)  # stops the program started above, then warns
        if not s.warning_shown(timeout_ms=30000):
            raise inst.InstallerError("no reinstall warning appeared")
        time.sleep(0.5)
        whole_screen(s, "5-reinstall-warning")
        s.answer_warning(inst.IDOK)
        s.wait_page(("failed",), timeout=180)
        s.screenshot("6-failed")
        s.click(inst.CLOSE_BOX)
        say("installer exit code: %d" % s.wait_exit())
        say("the failed update left the installation as it was: %s" %
            ("yes" if os.path.exists(os.path.join(s.install_dir, "update.ini")) else "NO"))

        say("an update whose runtime package was replaced in the bucket after the release was signed")
        control("reset", {})
        bucket = os.environ["KAV_BUCKET_ROOT_UNIX"]
        runtime = os.path.join(bucket, FIX_PACKAGE)
        shutil.copyfile(runtime, runtime + ".signed")
        shutil.copyfile(os.path.join(bucket, PREFIX, "base.zip"), runtime)
        installed = open(os.path.join(s.install_dir, PRODUCT_FILE), "rb").read()
        try:
            s.start()
            s.click(inst.MAIN_BUTTON)
            if s.warning_shown(timeout_ms=30000):
                s.answer_warning(inst.IDOK)
            s.wait_page(("failed",), timeout=180)
            s.screenshot("7-tampered-package-refused")
            s.click(inst.CLOSE_BOX)
            say("installer exit code: %d" % s.wait_exit())
        finally:
            os.replace(runtime + ".signed", runtime)
        refused = [line for line in open(s.install_logs()[-1], "rb").read().decode("gbk", "replace").splitlines()
                   if "Sha256CheckError" in line]
        say("the replaced package was refused: %s" % (refused[0].split("\t")[-1] if refused else "NO"))
        say("the installed program is still the signed one: %s" %
            ("yes" if open(os.path.join(s.install_dir, PRODUCT_FILE), "rb").read() == installed else "NO"))
    except inst.InstallerError as error:
        say("FAILED: %s" % error)
        return 1
    finally:
        s.kill()

    print()
    print("Installed to %s" % s.install_dir_windows)
    print("  (on this machine: %s)" % s.install_dir)
    for root, dirs, files in sorted(os.walk(s.install_dir)):
        dirs.sort()
        for name in sorted(files):
            print("    " + os.path.relpath(os.path.join(root, name), s.install_dir))
    print()
    print("Install log %s:" % log_file)
    for line in install_log.splitlines():
        print("    " + line)
    print()
    wine_run = "KAVRINDEL_NO_XVFB=1 " + os.path.relpath(s.wine_run)  # reg needs no display
    print("The uninstall entry:     %s reg query \"%s\"" % (wine_run, inst.UNINSTALL_KEY))
    print("The URL scheme:          %s reg query \"HKCR\\KAvrindel%s\" /s" % (wine_run, inst.PACKAGE_CODE))
    print("The desktop shortcut:    ls -l \"%s\"" % os.path.relpath(s.shortcut))
    print("Pictures of every page:  %s" % os.path.relpath(shots))
    return 0


if __name__ == "__main__":
    sys.exit(main())
