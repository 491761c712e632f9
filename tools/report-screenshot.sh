#!/usr/bin/env bash
# Makes the README's picture of the report (docs/report.png): the logs of a
# made-up fleet of 80 workstations over 40 days (bench/fleet_logs.py), the
# report over them with one workstation listed that never ran, and the page
# in headless Chromium at a laptop's width.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/tools/env.sh"
OUT="${1:-$ROOT/docs/report.png}"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/vantorel-shot.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

cmake --build --preset win64 --target vantorel >/dev/null
# The day's runs (07:30 to 10:30) are over by the time the picture is taken.
END=$(date -d '-11 hours' +%F)
python3 "$ROOT/bench/fleet_logs.py" "$WORK/logs" --computers 80 --days 40 --items 12 --seed 7 --end "$END" >/dev/null
printf 'WS%03d\r\n' $(seq 1 80) >"$WORK/computers.txt"
printf 'WS081\r\n' >>"$WORK/computers.txt"
wine_server_up
(cd "$WORK" && wine "$ROOT/build/win64/vantorel.exe" --report logs --computers computers.txt </dev/null)
PYTHONPATH="$ROOT/tests/browser" python3 - "$WORK/vantorel-report.html" "$OUT" <<'PY'
import sys
import cdp
with cdp.Browser(width=1366, height=900) as browser:
    browser.open(sys.argv[1])
    errors = browser.errors()
    if errors:
        sys.exit(f"the page has errors: {errors}")
    browser.screenshot(sys.argv[2], max_height=2600)
print(f"screenshot: {sys.argv[2]}")
PY
