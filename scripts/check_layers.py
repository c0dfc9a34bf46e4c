#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Fails when a layer includes what lies above it.

The engine (conversion/) may include only its own headers, the C++ and C
standard libraries, the system's POSIX headers and Qt Core. Test files
(*_test.cpp) are not product code and are not looked at. Prints each
offending include with its file and line; exits 1 when there is any.
"""
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def qt_core_dir():
    try:
        out = subprocess.run(["qmake6", "-query", "QT_INSTALL_HEADERS"],
                             capture_output=True, text=True, check=True)
        return os.path.join(out.stdout.strip(), "QtCore")
    except (OSError, subprocess.CalledProcessError):
        return "/usr/include/x86_64-linux-gnu/qt6/QtCore"


def system_header(name, qt_core):
    if os.path.exists(os.path.join(qt_core, name)):
        return True
    if name.startswith("Qt") and "/" in name:
        return name.startswith("QtCore/")
    if name[:1] == "Q":  # a Qt class header of another module
        return False
    # The compiler's own view of the standard and system headers.
    return not name.startswith(("gtest", "gmock"))


def check(layer, allowed_prefixes):
    qt_core = qt_core_dir()
    problems = []
    folder = os.path.join(ROOT, layer)
    for dirpath, _, files in os.walk(folder):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")) or name.endswith("_test.cpp"):
                continue
            path = os.path.join(dirpath, name)
            with open(path, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    kind, header = m.groups()
                    ok = (header.startswith(allowed_prefixes) if kind == '"'
                          else system_header(header, qt_core))
                    if not ok:
                        rel = os.path.relpath(path, ROOT)
                        close = ">" if kind == "<" else '"'
                        problems.append(f"{rel}:{number}: {layer} includes "
                                        f"{kind}{header}{close}")
    return problems


def main():
    problems = check("conversion", ("conversion/",))
    for p in problems:
        print(p)
    if problems:
        print(f"check_layers: {len(problems)} include(s) reach above the engine")
        return 1
    print("check_layers: the engine includes only itself, the standard "
          "library and Qt Core")
    return 0


if __name__ == "__main__":
    sys.exit(main())
