#!/usr/bin/env bash
# Puts the stand-in database engine beside the program, where alias items look
# for it first (the demo runs from the program directory).
# Arguments: the demo run directory, the build directory.
set -euo pipefail
cmake --build "$2" --target idapi32_standin >/dev/null
cp "$2/engine_standin/IDAPI32.DLL" "$1/app/"
