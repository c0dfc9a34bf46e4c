#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that every source file states its licence in a machine-readable
# line near its top: within its first five lines, so that a #! line or an
# include guard may come first. Source files: C++ sources and headers, CMake
# files, shell and Python scripts, among the files under version control.
# Data (test mailboxes, images, texts for users) is not looked at.
# The line, in the comment syntax of the file:
#   SPDX-License-Identifier: GPL-3.0-or-later
#
# Prints each file without the line and exits 1 if there is any.
set -euo pipefail
cd "$(dirname "$0")/.."

tag='SPDX-License-Identifier: GPL-3.0-or-later'
missing=0
checked=0
while IFS= read -r -d '' file; do
  case "$file" in
    *.cpp | *.h | *.cmake | */CMakeLists.txt | CMakeLists.txt | *.sh | *.py | \
      *.rc.in | .ci/run) ;;
    *) continue ;;
  esac
  [ -f "$file" ] || continue  # deleted but not yet committed
  checked=$((checked + 1))
  if ! head -n 5 "$file" | grep -qF "$tag"; then
    echo "no '$tag' line at the top of $file" >&2
    missing=$((missing + 1))
  fi
done < <(git ls-files -z --cached --others --exclude-standard)

if [ $checked -eq 0 ]; then
  echo "no source file found: is this a git checkout?" >&2
  exit 1
fi
if [ $missing -gt 0 ]; then
  echo "$missing of $checked source files lack the licence line" >&2
  exit 1
fi
echo "all $checked source files carry the licence line"
