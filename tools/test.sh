#!/usr/bin/env bash
# Builds both Windows targets and runs every test under Wine.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash tools/setup.sh
source tools/env.sh

cmake --preset win64 >/dev/null
cmake --build --preset win64
cmake --preset win32 >/dev/null
cmake --build --preset win32

wine_server_up
ctest --preset win64 "$@"
