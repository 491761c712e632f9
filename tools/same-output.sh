#!/usr/bin/env bash
# Proves that the program's console output is unchanged: records every run of
# the program the e2e tests make (arguments, exit code, time-out, standard
# output) and the demo's output, for a base revision and for the current tree
# (uncommitted changes included), and compares them byte for byte.
#
#   bash tools/same-output.sh [base-revision]
#
# The default base is the merge-base of HEAD and main: on a branch, where it
# forked; on main itself, HEAD, so uncommitted changes are checked. The base
# must have the harness's recording (VANTOREL_RECORD_DIR), so the oldest usable
# base is the commit that added it.
#
# The base is built in its own git worktree, build/same-output/base (reused,
# and moved to the next base when that changes); its recording is kept in
# build/same-output/records/<commit> so a later call against the same base
# records only the current tree. Exit code: 0 nothing differs, 1 something
# does, 2 the tool could not do its work.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
work=$root/build/same-output

fail() { echo "same-output: $*" >&2; exit 2; }

if [ $# -gt 1 ] || [[ "${1:-}" == -* ]]; then
  sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//' >&2
  exit 2
fi
if [ $# -eq 1 ]; then
  base=$(git rev-parse --verify --quiet "$1^{commit}") || fail "no such revision: $1"
else
  main=main
  git rev-parse --verify --quiet main >/dev/null || main=origin/main
  base=$(git merge-base HEAD "$main") || fail "no merge-base of HEAD and $main; name a base revision"
fi
short=$(git rev-parse --short "$base")
git grep -q VANTOREL_RECORD_DIR "$base" -- tests/support ||
  fail "$short predates the recording in the test harness; name a later base"

bash tools/setup.sh
source tools/env.sh
# The base's scripts run in the same Wine prefix as ours.
export VANTOREL_WINEPREFIX=$WINEPREFIX

# Runs a command with its output in a log, showing the log's end if it fails.
logged() {
  local log=$1
  shift
  if ! "$@" >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    fail "failed: $* (log: $log)"
  fi
}

build() {  # tree, log
  (cd "$1" && logged "$2" cmake --preset win64 &&
    logged "$2" cmake --build --preset win64 --target e2e_tests demo_app)
}

# Records a built tree's e2e tests and demo into a directory; when some e2e
# test failed, the recording is complete all the same and holds "tests-failed".
record() {  # tree, recording directory
  local tree=$1 out=$2
  rm -rf "$out"
  mkdir -p "$out/e2e"
  wine_server_up
  (cd "$tree" && ctest --preset win64 -L e2e -N) | sed -n 's/^ *Test *#[0-9]*: //p' >"$out/tests.txt"
  # One test at a time: run side by side, tests disturb each other's registry
  # keys now and then and print something else. A failed test gets a second
  # try, which writes its record afresh (Wine, loaded, fails a start at times).
  if ! (cd "$tree" && VANTOREL_RECORD_DIR=$out/e2e ctest --preset win64 -L e2e -j1 --repeat until-pass:2 \
    >"$out/ctest.log" 2>&1); then
    echo "same-output: some e2e tests failed in $tree (see $out/ctest.log):" >&2
    sed -n '/tests FAILED:/,$p' "$out/ctest.log" | grep -v '^Errors while' >&2 || true
    touch "$out/tests-failed"
  fi
  record_demo "$tree" "$out/demo.txt"
}

# Prepares the demo as tools/demo.sh does and runs it without a terminal.
record_demo() {  # tree, record file
  local tree=$1 record=$2 build=$1/build/win64 run=$work/demo-run
  rm -rf "$run"
  cp -r "$tree/demo" "$run"
  cp "$build/vantorel.exe" "$build/demo/demo_app.exe" "$run/app/"
  for prepare in "$run"/prepare.d/*.sh; do
    [ -f "$prepare" ] && logged "$work/demo-prepare.log" bash "$prepare" "$run" "$build"
  done
  wine_server_up
  # Every run starts without the demo's registry values, so it shows them written.
  wine 'C:\windows\system32\reg.exe' delete 'HKCU\Software\VantorelDemo' /f >/dev/null 2>&1 || true
  # Through a pipe, which stays open until the restarted copy and the launched
  # application have ended too (each holds it); input is empty, so a failure's
  # key wait ends at once.
  local code timed_out=0
  set +e
  (cd "$run/app" && wine vantorel.exe demo.ini </dev/null 2>&1) | timeout 120 cat >"$work/demo-raw.txt"
  local codes=("${PIPESTATUS[@]}")
  set -e
  code=${codes[0]}
  [ "${codes[1]}" -eq 124 ] && timed_out=1
  python3 tools/same_output.py demo-record "$run" "$code" "$timed_out" "$work/demo-raw.txt" "$record"
}

mkdir -p "$work"
cached=$work/records/$base
if [ -f "$cached/complete" ]; then
  echo "same-output: base $short recorded before ($cached)"
else
  echo "same-output: building base $short in $work/base"
  tree=$work/base
  if [ ! -e "$tree/.git" ]; then
    rm -rf "$tree"
    git worktree prune
    git worktree add --quiet --detach "$tree" "$base"
  elif [ "$(git -C "$tree" rev-parse HEAD)" != "$base" ]; then
    git -C "$tree" checkout --quiet --detach "$base"
  fi
  build "$tree" "$work/build-base.log"
  echo "same-output: recording base $short"
  record "$tree" "$cached.tmp"
  rm -rf "$cached"
  mv "$cached.tmp" "$cached"
  # A recording with failed tests is used this once but not kept.
  [ -f "$cached/tests-failed" ] || touch "$cached/complete"
fi

echo "same-output: building the current tree"
build "$root" "$work/build-current.log"
echo "same-output: recording the current tree"
record "$root" "$work/current"

set +e
python3 tools/same_output.py compare "$cached" "$work/current" "base-$short" current
result=$?
set -e
echo "same-output: $([ $result -eq 0 ] && echo "same output as $short" || echo "output differs from $short")" \
  "(${SECONDS}s)"
exit $result
