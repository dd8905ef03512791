#!/usr/bin/env python3
"""One end-to-end scenario of the installer, run by ctest inside tools/local-bucket/with_bucket.py.

    run_scenario.py --build-dir BUILD --scenario NAME [--lang en_US.UTF-8] [--shots DIR]

Scenarios: first-install, reinstall, missing-manifest, failing-package, close-box, close-command,
keyboard, dpi. A first install is driven from the keyboard alone (Enter installs, Enter opens); the
other installs are clicked. Exit status 0 when every check held; the first failed check is printed.
"""

import argparse
import json
import os
import subprocess
import sys
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import installer_session as inst  # noqa: E402

FIX_NAME = "9.5.9.1_fix"
PREFIX = "9.5KAvrindelIE"


def check(condition, message):
    if not condition:
        raise inst.InstallerError(message)


def control(path, body):
    base = os.environ["KAV_BUCKET_CONTROL"]
    request = urllib.request.Request(base + path, data=json.dumps(body).encode(), method="POST",
                                     headers={"Content-Type": "application/json"})
    with urllib.request.urlopen(request, timeout=10) as answer:
        answer.read()


def bucket_file(*parts):
    return os.path.join(os.environ["KAV_BUCKET_ROOT_UNIX"], PREFIX, *parts)


def read_log(path):
    return open(path, "rb").read().decode("gbk", "replace")


def install_through(s, shots=False, answer=None, by_key=False):
    """From the welcome page to the finished page, with a click on the main button or with Enter.
    The press starts the install on the dialog's thread (the manifest is read there), so the
    welcome page stays a moment; the progress page must come before the welcome picture counts as
    the finished page, unless the picture has lost the Custom link: a quick install may come and
    go between two looks."""
    if by_key:
        s.key("Return")
    else:
        s.click(inst.MAIN_BUTTON)
    if answer is not None:
        s.answer_warning(answer)
    end = time.time() + 60
    while s.page() != "installing" and not s.on_finished_page():
        check(s.page() != "failed", "the dialog shows the failed page")
        check(time.time() < end, "the install did not start within 60 s")
        time.sleep(0.1)
    if shots:
        s.screenshot("3-installing")
    s.wait_page(("welcome",), timeout=120, fail_on=("failed",))
    time.sleep(0.5)


QUANT_NAME = ""  # the Quant package of the release, from --quant


def check_installation(s):
    """The folder, the version file, the configuration values, the registry, shortcut and log."""
    for name in (inst.PRODUCT_EXE, "uninstall.exe", "update.ini", "config/kavrindel.Default.pub",
                 "config/kavrindel.Default.pri", "Server/config/shortcut/shortcut201805.ico"):
        check(os.path.exists(os.path.join(s.install_dir, name)), "missing in the install folder: " + name)
    check(not os.path.exists(s.temp_dir), "the staging folder is left: " + s.temp_dir)
    update = s.read_ini(os.path.join(s.install_dir, "update.ini"))
    check(update.get("cfgstamp", {}).get("time") == "42", "update.ini cfgstamp: %r" % update)
    check(update.get("version", {}).get("cur") == FIX_NAME, "update.ini version cur: %r" % update)
    check(update.get("version", {}).get("quant", None) == QUANT_NAME, "update.ini version quant: %r" % update)
    pub = s.read_ini(os.path.join(s.install_dir, "config", "kavrindel.Default.pub"))
    check(pub.get("kavrindel", {}).get("package") == inst.PACKAGE_CODE, "package in .pub: %r" % pub)
    pri = s.read_ini(os.path.join(s.install_dir, "config", "kavrindel.Default.pri"))
    check(pri.get("kavrindel", {}).get("language") == str(s.language_id), "language in .pri: %r" % pri)
    entry = s.uninstall_entry()
    check(entry is not None, "no uninstall entry " + inst.UNINSTALL_KEY)
    check(entry.get("DisplayVersion") == FIX_NAME, "uninstall entry: %r" % entry)
    check(s.install_dir_windows.lower() in entry.get("UninstallString", "").lower(), "uninstall entry: %r" % entry)
    check(os.path.exists(s.shortcut), "no desktop shortcut " + s.shortcut)
    logs = s.install_logs()
    check(len(logs) >= 1, "no install log in " + s.install_dir)
    log = read_log(logs[-1])
    lines = log.split("\r\n")
    check(lines[0].endswith("\t\tVersion: IE_9.5.9.1"), "log line 1: %r" % lines[0])
    check(lines[1].endswith("\t\t用户点击安装，安装开始..."), "log line 2: %r" % lines[1])
    check("删除源文件" in log, "the log lacks the late steps:\n" + log)
    return log


def open_program(s, by_key=False):
    """"Open" on the finished page (a click or Enter): the window goes, the DPI is recorded and the
    product starts."""
    if by_key:
        s.key("Return")
    else:
        s.click(inst.MAIN_BUTTON)
    check(s.dialog_gone(), "the dialog stayed after Open")
    check(s.wait_exit() == 0, "the installer's exit code is not 0")
    record = s.standin_record()
    check(record["commandline"].rstrip().endswith(" end"), "the product's command line: %r" % record)
    check(record["currentdir"].rstrip("\\").lower() == s.install_dir_windows.lower(),
          "the product's folder: %r" % record)
    # The search path the product inherits ends in the system folder.
    check(record["path"].lower().endswith("c:\\windows\\system32;"), "the product's Path: %r" % record["path"])
    pri = s.read_ini(os.path.join(s.install_dir, "config", "kavrindel.Default.pri"))
    check(pri.get("kavrindel", {}).get("awaredpi") in ("0", "1"), "no awaredpi: %r" % pri)
    return record, pri["kavrindel"]["awaredpi"]


def scenario_first_install(s, args):
    """From the keyboard alone: Enter installs, Enter on the finished page opens the product."""
    s.reset_product()
    s.start()
    check(s.is_active(), "the dialog is not the active window after the start")
    s.screenshot("1-welcome")
    install_through(s, shots=bool(args.shots), by_key=True)
    check(not s.warning_shown(timeout_ms=500), "a first install asked about reinstalling")
    s.screenshot("4-finished")
    check_installation(s)
    record, awaredpi = open_program(s, by_key=True)
    check(awaredpi == "0", "awaredpi at 96 DPI: " + awaredpi)
    s.stop_standin(record)


def first_install_closed(s):
    s.reset_product()
    s.start()
    install_through(s)
    s.click(inst.CLOSE_BOX)
    check(s.wait_exit() == 0, "exit code after closing the finished page")


def scenario_reinstall(s, args):
    first_install_closed(s)
    before = open(os.path.join(s.install_dir, "update.ini"), "rb").read()
    logs_before = len(s.install_logs())
    # A running copy of the product, which the installer stops before it warns.
    product = subprocess.Popen([s.wine_run, os.path.join(s.install_dir, inst.PRODUCT_EXE)], env=s.env(),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    s.standin_record()
    s.start()
    # The custom-path panel shown and hidden again before the install.
    s.click(inst.CUSTOM_LINK)
    s.screenshot("2-custom-folder")
    s.click(inst.CUSTOM_LINK)
    s.click(inst.MAIN_BUTTON)
    s.answer_warning(inst.IDCANCEL)
    time.sleep(1)
    check(product.poll() is not None, "the running product was not stopped before the warning")
    check(s.page() == "welcome", "Cancel left the welcome page")
    check(open(os.path.join(s.install_dir, "update.ini"), "rb").read() == before, "Cancel changed the installation")
    check(len(s.install_logs()) == logs_before, "Cancel opened a new log")
    install_through(s, answer=inst.IDOK)
    check_installation(s)
    s.click(inst.CLOSE_BOX)
    check(s.wait_exit() == 0, "exit code after the reinstall")
    # The exit waited for the deletion of the installation that the update moved aside.
    for sibling in ("old", "trash", "new"):
        check(not os.path.exists(s.install_dir + sibling), "left beside the installation: %s" % sibling)
    pri = s.read_ini(os.path.join(s.install_dir, "config", "kavrindel.Default.pri"))
    check(pri.get("kavrindel", {}).get("awaredpi") == "0", "the close box on the finished page wrote no awaredpi")


def scenario_missing_manifest(s, args):
    s.reset_product()
    os.remove(bucket_file("summary.ini"))
    s.start()
    s.click(inst.MAIN_BUTTON)
    s.wait_page(("failed",), timeout=60)
    s.screenshot("failed-manifest")
    logs = s.install_logs()
    check(len(logs) == 1, "logs: %r" % logs)
    log = read_log(logs[0])
    check("下载前端依赖库" not in log, "a worker ran after the manifest failed:\n" + log)
    check(os.path.isdir(s.temp_dir), "the staging folder was not prepared")
    s.click(inst.CLOSE_BOX)
    check(s.wait_exit() == 0, "exit code after the failure")
    check(not os.path.exists(s.temp_dir), "the staging folder stayed after a failed install")
    check(not os.path.exists(os.path.join(s.install_dir, "update.ini")), "something was installed")


def scenario_failing_package(s, args):
    first_install_closed(s)
    before = open(os.path.join(s.install_dir, "update.ini"), "rb").read()
    control("/faults", {"key": PREFIX + "/config.zip", "count": -1, "status": 503})
    s.start()
    s.click(inst.MAIN_BUTTON)
    s.answer_warning(inst.IDOK)
    s.wait_page(("failed",), timeout=120)
    s.screenshot("failed-package")
    log = read_log(s.install_logs()[-1])
    check("下载配置文件失败" in log, "the log lacks the failed step:\n" + log)
    check(open(os.path.join(s.install_dir, "update.ini"), "rb").read() == before, "the old installation changed")
    check(os.path.exists(os.path.join(s.install_dir, inst.PRODUCT_EXE)), "the old program is gone")
    check(os.path.isdir(s.temp_dir), "no staging folder during the failure")
    s.click(inst.CLOSE_BOX)
    check(s.wait_exit() == 0, "exit code after the failure")
    check(not os.path.exists(s.temp_dir), "the staging folder stayed after the failed install")


def scenario_close_box(s, args):
    # Welcome page: the close box ends the program.
    s.reset_product()
    os.makedirs(s.temp_dir)
    open(os.path.join(s.temp_dir, "kept.txt"), "w").write("only a failed install removes the staging folder")
    s.start()
    s.click(inst.CLOSE_BOX)
    check(s.wait_exit() == 0, "exit code after closing the welcome page")
    check(not os.path.exists(s.install_dir), "closing the welcome page installed something")
    check(os.path.exists(os.path.join(s.temp_dir, "kept.txt")), "closing the welcome page removed the staging folder")
    # Installing: the close box does nothing.
    control("/faults", {"key": PREFIX + "/fix/" + FIX_NAME + ".zip", "count": 1, "delay_ms": 6000})
    s.start()
    s.click(inst.MAIN_BUTTON)
    s.wait_page(("installing",), timeout=30, fail_on=("failed",))
    s.click(inst.CLOSE_BOX)
    time.sleep(1)
    check(s.process.poll() is None and s.page() == "installing", "the close box acted while installing")
    s.wait_page(("welcome",), timeout=120, fail_on=("failed",))
    s.click(inst.CLOSE_BOX)
    check(s.wait_exit() == 0, "exit code after closing the finished page")


def scenario_close_command(s, args):
    s.reset_product()
    control("/faults", {"key": PREFIX + "/fix/" + FIX_NAME + ".zip", "count": 1, "delay_ms": 8000})
    s.start()
    s.click(inst.MAIN_BUTTON)
    s.wait_page(("installing",), timeout=30, fail_on=("failed",))
    code, _ = s.probe("close")
    check(code == 0, "could not post SC_CLOSE")
    check(s.wait_exit(timeout=20) == 0, "exit code after SC_CLOSE during the install")
    # Not a failed install: the staging folder with what the worker had fetched stays.
    check(os.path.isdir(s.temp_dir), "SC_CLOSE during the install removed the staging folder")


def scenario_keyboard(s, args):
    # Escape on the welcome page ends the program, as the close box does.
    s.reset_product()
    s.start()
    check(s.is_active(), "the dialog is not the active window after the start")
    s.key("Escape")
    check(s.wait_exit() == 0, "exit code after Escape on the welcome page")
    check(not os.path.exists(s.install_dir), "Escape on the welcome page installed something")

    # Enter held on the welcome page starts one install. Enter and Escape while installing change
    # nothing, and an Enter held from the progress page into the finished page does not press Open.
    control("/faults", {"key": PREFIX + "/fix/" + FIX_NAME + ".zip", "count": 1, "delay_ms": 6000})
    s.start()
    s.key_down("Return")
    time.sleep(1.5)  # long enough for the keyboard's auto-repeat
    s.key_up("Return")
    s.wait_page(("installing",), timeout=30, fail_on=("failed",))
    s.key("Return", "Escape")
    time.sleep(1)
    check(s.process.poll() is None and s.page() == "installing", "Enter or Escape acted while installing")
    s.key_down("Return")
    s.wait_page(("welcome",), timeout=120, fail_on=("failed",))
    time.sleep(1)
    s.key_up("Return")
    time.sleep(1)
    check(s.process.poll() is None and s.page() == "welcome", "an Enter held into the finished page acted")
    check(not os.path.exists(os.path.join(s.install_dir, "standin-record.txt")), "the product was opened")
    check(len(s.install_logs()) == 1, "logs: %r" % s.install_logs())
    # Escape on the finished page closes it as the close box does, recording the DPI.
    s.key("Escape")
    check(s.wait_exit() == 0, "exit code after Escape on the finished page")
    pri = s.read_ini(os.path.join(s.install_dir, "config", "kavrindel.Default.pri"))
    check(pri.get("kavrindel", {}).get("awaredpi") == "0", "Escape on the finished page wrote no awaredpi")

    # Enter held on the welcome page of an installed product: the reinstall warning comes up and
    # stays up (the held key's repeats must not answer it); Escape answers Cancel.
    s.start()
    s.key_down("Return")
    time.sleep(1.5)
    s.key_up("Return")
    check(s.warning_shown(timeout_ms=10000), "no reinstall warning")
    time.sleep(1)
    check(s.warning_shown(timeout_ms=0), "the reinstall warning went without an answer")
    s.key("Escape")
    time.sleep(1)
    check(not s.warning_shown(timeout_ms=0), "Escape did not answer the reinstall warning")
    check(s.page() == "welcome" and len(s.install_logs()) == 1, "Cancel started an install")
    # Alt+F4 is the system's close command, which ends the program in every state.
    s.key("alt+F4")
    check(s.wait_exit() == 0, "exit code after Alt+F4")


def scenario_dpi(s, args):
    key = r"HKCU\Control Panel\Desktop"
    expected = {96: "0", 144: "0", 192: "1"}
    try:
        for dpi, flag in expected.items():
            s.reset_product()
            s.reg("add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f")
            s.start()
            install_through(s)
            record, awaredpi = open_program(s)
            s.stop_standin(record)
            check(awaredpi == flag, "awaredpi at %d DPI: %s" % (dpi, awaredpi))
    finally:
        s.reg("add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", "96", "/f", check=False)


SCENARIOS = {
    "first-install": scenario_first_install,
    "reinstall": scenario_reinstall,
    "missing-manifest": scenario_missing_manifest,
    "failing-package": scenario_failing_package,
    "close-box": scenario_close_box,
    "close-command": scenario_close_command,
    "keyboard": scenario_keyboard,
    "dpi": scenario_dpi,
}


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--build-dir", required=True)
    p.add_argument("--scenario", required=True, choices=sorted(SCENARIOS))
    p.add_argument("--lang", default="en_US.UTF-8")
    p.add_argument("--shots", default=None)
    p.add_argument("--quant", default="", help="the Quant package the release names, if any")
    args = p.parse_args()
    global QUANT_NAME
    QUANT_NAME = args.quant
    if not os.environ.get("DISPLAY"):
        sys.exit("run_scenario.py needs an X display (run it under xvfb-run)")
    s = inst.Session(args.build_dir, lang=args.lang, shots_dir=args.shots)
    try:
        SCENARIOS[args.scenario](s, args)
    except inst.InstallerError as error:
        print("FAILED: %s" % error)
        if s.process is not None and s.origin is not None and s.process.poll() is None:
            print("the installer is still running; pointer at %s" %
                  subprocess.run(["xdotool", "getmouselocation"], stdout=subprocess.PIPE).stdout.decode().strip())
            s.shots_dir = s.shots_dir or os.path.join(args.build_dir, "e2e-failures")
            s.screenshot("%s-%s-failure" % (args.scenario, args.lang.split(".")[0]))
        return 1
    finally:
        s.kill()
    print("%s (%s): passed" % (args.scenario, args.lang))
    return 0


if __name__ == "__main__":
    sys.exit(main())
