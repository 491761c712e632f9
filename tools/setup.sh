#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages and creates
# the project's own Wine prefix and locales. Safe to run again: it only does
# what is missing, and quietly.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

need=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix)
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686-posix)
command -v x86_64-w64-mingw32-windres >/dev/null || need+=(binutils-mingw-w64)
command -v wine >/dev/null || need+=(wine wine64)
command -v wine64 >/dev/null || [ -x /usr/lib/wine/wine64 ] || need+=(wine64)
# Wine's bcrypt does ECDSA (release signatures) through the host's GnuTLS,
# which it loads at run time: wine only recommends it, and without it key
# pairs and signatures fail with "not implemented" (SHA-256 works without).
[ -e /usr/lib/x86_64-linux-gnu/libgnutls.so.30 ] || need+=(libgnutls30)
command -v tmux >/dev/null || need+=(tmux)
command -v cmake >/dev/null || need+=(cmake)
command -v make >/dev/null || need+=(make)
command -v python3 >/dev/null || need+=(python3)
command -v pgrep >/dev/null || need+=(procps)
command -v localedef >/dev/null || need+=(locales)
# The report's page is tested in a real browser, headless.
command -v chromium >/dev/null || need+=(chromium)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
[ -d /usr/share/i18n/locales ] && [ -f /usr/share/i18n/locales/ru_RU ] || need+=(locales)

if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# A Russian locale lets the tests start Wine with code pages 1251/866.
if [ ! -d "$VANTOREL_LOCPATH/ru_RU.UTF-8" ]; then
  mkdir -p "$VANTOREL_LOCPATH"
  localedef -i ru_RU -f UTF-8 "$VANTOREL_LOCPATH/ru_RU.UTF-8" 2>/dev/null || true
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "setup: creating the Wine prefix $WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi
