#!/usr/bin/env bash
# Stocks the demo's share with a new release: the program built with a higher
# version, a newer edition of a demo file, and the installed script with one
# more File item. The run then updates its own program file (a restart from
# "_vantorel.exe"), its script, and the demo file.
# Arguments: the demo run directory, the build directory.
set -euo pipefail
run=$1
build=$2
cmake --build "$build" --target demo_next_release >/dev/null
cp "$build/demo/next_release/vantorel.exe" "$run/share/vantorel.exe"

# The installed demo file is an older edition of the share's.
printf 'Vantorel demo notes, edition 1.\r\n' >"$run/app/notes.txt"
touch -d '2020-01-01 12:00' "$run/app/notes.txt"

# The share's script is the installed one plus "FileN=notes.txt" at the end of
# its "Update" section (the section is added when missing), and newer.
awk '
  function add() { print "File" (files + 1) "=notes.txt"; added = 1 }
  {
    line = $0; sub(/\r$/, "", line)
    if (line ~ /^[ \t]*\[/) {
      if (inUpdate && !added) add()
      inUpdate = (tolower(line) ~ /^[ \t]*\[update\]/); files = 0
    } else if (inUpdate && tolower(line) ~ /^file[0-9]+[ \t]*=/) {
      files++
    }
    print
  }
  END {
    if (inUpdate && !added) add()
    if (!added) { print ""; print "[Update]"; print "; A newer edition of this file lies on the share."; files = 0; add() }
  }' "$run/app/demo.ini" >"$run/share/demo.ini"
touch -d '2020-01-01 12:00' "$run/app/demo.ini"
touch -d '2020-01-02 12:00' "$run/share/demo.ini"
