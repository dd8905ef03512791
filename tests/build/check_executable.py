#!/usr/bin/env python3
"""Checks the built installer executable: the DLLs it imports, what it exports, its manifest, its size."""
import argparse
import os
import re
import subprocess
import sys

# DLLs that Windows always takes from System32 (KnownDLLs). Everything else is loaded at run time
# from System32 only, so a DLL planted beside the elevated installer can never be picked up.
ALLOWED_IMPORTS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
    "oleaut32.dll", "shlwapi.dll", "comdlg32.dll", "msvcrt.dll", "ws2_32.dll", "imm32.dll",
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--max-bytes", type=int, help="the largest the executable may be")
    parser.add_argument("exe")
    args = parser.parse_args()

    dump = subprocess.run([args.objdump, "-p", args.exe], check=True, capture_output=True, text=True).stdout
    failures = []

    imports = {m.lower() for m in re.findall(r"^\s*DLL Name:\s*(\S+)", dump, re.MULTILINE)}
    if not imports:
        failures.append("no import table found")
    for dll in sorted(imports - ALLOWED_IMPORTS):
        failures.append(f"imports {dll}, which is not a KnownDLL")

    if re.search(r"^Subsystem\s+00000002", dump, re.MULTILINE) is None:
        failures.append("subsystem is not the Windows GUI")

    exports = re.findall(r"^\s*\[\s*\d+\]\s+\+?base\[\s*\d+\]\s+\S+\s+(\S+)", dump, re.MULTILINE)
    curl = [e for e in exports if e.startswith("curl_")]
    if curl:
        failures.append(f"exports libcurl functions: {curl[:5]}")

    data = open(args.exe, "rb").read()
    if b'requestedExecutionLevel level="requireAdministrator"' not in data:
        failures.append("the manifest does not ask for administrator rights")
    if b"dpiAware" in data or b"dpiAwareness" in data:
        failures.append("the manifest declares DPI awareness (the process becomes aware only at the end)")
    if b"Microsoft.Windows.Common-Controls" not in data:
        failures.append("the manifest does not ask for Common Controls 6")

    size = os.path.getsize(args.exe)
    if args.max_bytes is not None and size > args.max_bytes:
        failures.append(f"the executable is {size:,} bytes, more than {args.max_bytes:,}")

    for f in failures:
        print("FAIL:", f)
    print(f"imports: {', '.join(sorted(imports))}")
    limit = f" (at most {args.max_bytes:,})" if args.max_bytes is not None else ""
    print(f"size: {size:,} bytes{limit}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
