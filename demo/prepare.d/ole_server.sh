#!/usr/bin/env bash
# Puts the demo's self-registering server into the program directory.
# Arguments: the demo run directory, the build directory.
set -euo pipefail
cmake --build "$2" --target demo_server >/dev/null
cp "$2/demo/demo_server.dll" "$1/app/"
