#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Fails when a product folder includes what lies above it.

LAYERS lists, for every folder of shipped code, the project folders whose
headers it may include and the Qt modules it may use; the C++ and C
standard libraries and the system's own headers are open to all. Test
files (*_test.cpp, and the fixtures *_test_*.h/.cpp they share) are not
product code and are not looked at. Prints each
offending include with its file and line; exits 1 when there is any.

    python3 scripts/check_layers.py [ROOT]

ROOT defaults to the repository this script lies in.
"""
import os
import re
import subprocess
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')

# folder: (project folders it may include, Qt modules it may use). A
# folder always includes itself; the longest folder that holds a file
# decides which row it follows.
LAYERS = {
    # The engine: nothing of the project above it, Qt Core only.
    "conversion": ((), ("QtCore",)),
    # The command line: the engine only.
    "cli": (("conversion",), ("QtCore",)),
    # The desktop services: the engine's values at most.
    "platform": (("conversion",), ("QtCore", "QtGui", "QtDBus")),
    "resources": ((), ("QtCore", "QtGui")),
    # The window's words: nothing of the window they label.
    "ui/text": (("conversion",), ("QtCore", "QtGui", "QtWidgets")),
    "ui/help": (("conversion", "platform", "ui/text"),
                ("QtCore", "QtGui", "QtWidgets")),
    "ui/main": (("conversion", "platform", "ui/text", "ui/help"),
                ("QtCore", "QtGui", "QtWidgets")),
}


def qt_headers_dir():
    try:
        out = subprocess.run(["qmake6", "-query", "QT_INSTALL_HEADERS"],
                             capture_output=True, text=True, check=True)
        return out.stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return "/usr/include/x86_64-linux-gnu/qt6"


def system_header_ok(name, modules, qt_dir):
    """Whether the <...> header `name` is open to a folder using `modules`."""
    if name.startswith(("gtest", "gmock")):
        return False
    if name.startswith("Qt") and "/" in name:  # <QtCore/QString>
        return name.split("/", 1)[0] in modules
    if name[:1] == "Q" or name.startswith("qt"):
        # A Qt class header: open when one of the folder's modules has it.
        return any(os.path.exists(os.path.join(qt_dir, module, name))
                   for module in modules)
    # The compiler's own view of the standard and system headers.
    return True


def layer_of(rel):
    best = None
    for folder in LAYERS:
        if rel.startswith(folder + "/") and (best is None or
                                             len(folder) > len(best)):
            best = folder
    return best


def project_header_ok(header, layer):
    allowed = (layer,) + LAYERS[layer][0]
    owner = layer_of(header)
    if owner is None:
        # A header of no product folder (tests/, bench/) is never open.
        return False
    # A header under a sub-folder of the layer (platform/windows/) is the
    # layer's own.
    return owner in allowed


def check(root):
    qt_dir = qt_headers_dir()
    problems = []
    for layer in LAYERS:
        for dirpath, _, files in os.walk(os.path.join(root, layer)):
            for name in sorted(files):
                if (not name.endswith((".h", ".cpp")) or
                        name.endswith("_test.cpp") or "_test_" in name):
                    continue
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, root).replace(os.sep, "/")
                if layer_of(rel) != layer:
                    continue  # a deeper row holds it (ui/text under ui)
                modules = LAYERS[layer][1]
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        kind, header = m.groups()
                        ok = (project_header_ok(header, layer) if kind == '"'
                              else system_header_ok(header, modules, qt_dir))
                        if not ok:
                            close = ">" if kind == "<" else '"'
                            problems.append(f"{rel}:{number}: {layer} includes "
                                            f"{kind}{header}{close}")
    return problems


def main(argv):
    root = (argv[1] if len(argv) > 1 else
            os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    problems = check(root)
    for p in problems:
        print(p)
    if problems:
        print(f"check_layers: {len(problems)} include(s) reach outside "
              "their layer")
        return 1
    print("check_layers: every folder includes only its own layer and those "
          "below it")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
