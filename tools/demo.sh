#!/usr/bin/env bash
# Builds the program and runs it on the demo program directory, in this
# terminal, under Wine: first a plan of the run, then the run. The demo
# directory is copied first, so the demo can be run again and again from the
# same starting point.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash tools/setup.sh
source tools/env.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target vantorel vantorel_languages demo_app >/dev/null

run=build/demo-run
rm -rf "$run"
cp -r demo "$run"
cp build/win64/vantorel.exe "$run/app/"
[ -x build/win64/demo/demo_app.exe ] && cp build/win64/demo/demo_app.exe "$run/app/"
for prepare in "$run"/prepare.d/*.sh; do
  [ -f "$prepare" ] && bash "$prepare" "$run" build/win64
done

wine_server_up
# The registry values the demo writes are removed too, so every demo run shows them written.
wine 'C:\windows\system32\reg.exe' delete 'HKCU\Software\VantorelDemo' /f >/dev/null 2>&1 || true
cd "$run/app"
set +e
# First the plan: what the run would change, changing nothing.
wine vantorel.exe --plan demo.ini
echo
if [ -t 0 ]; then
  read -r -p "(That was the plan; nothing has changed. Press Enter for the run itself.) " _
else
  echo "(That was the plan; nothing has changed. The run itself follows.)"
fi
wine vantorel.exe demo.ini
code=$?
set -e
# The restarted copy and the launched application run on after the first
# instance has ended; wait for them so that their lines come before ours.
for _ in $(seq 150); do
  pgrep -f '(_vantorel|demo_app)\.exe' >/dev/null || break
  sleep 0.2
done
echo
echo "(vantorel.exe ended with exit code $code; the demo ran in $run)"
