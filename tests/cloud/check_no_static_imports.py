#!/usr/bin/env python3
"""Fails when the installer's code library refers to a WinHTTP or CNG function directly (through
the import table). Those libraries are not KnownDLLs: the storage client must load them from System32 at run
time. The executable's own import check only sees what the entry point already links in; this
one covers every object of the library."""
import re
import subprocess
import sys

# Undefined references to the functions themselves, with or without the import-table prefix.
FORBIDDEN = re.compile(r"^\s*U\s+((?:__imp_)?(?:WinHttp|BCrypt)\w*)", re.MULTILINE)


def main():
    nm, library = sys.argv[1], sys.argv[2]
    undefined = subprocess.run([nm, "-u", library], check=True, capture_output=True, text=True).stdout
    found = sorted({m.group(1) for m in FORBIDDEN.finditer(undefined)})
    for name in found:
        print("FAIL: imports", name)
    if "WinHttpApi.cpp.obj" not in undefined:
        print("FAIL: the storage client's WinHTTP loader is not in", library)
        return 1
    print("no WinHTTP or CNG function in the import references of", library)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
