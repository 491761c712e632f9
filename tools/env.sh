# Shared settings for the project's scripts: where the project's own Wine
# prefix and generated locales live. Sourced, not run.
VANTOREL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${VANTOREL_WINEPREFIX:-$VANTOREL_ROOT/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# Keep Wine from offering its .NET and HTML engine installers.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export VANTOREL_LOCPATH="$VANTOREL_ROOT/build/locale"
# Tests expect the English texts unless they choose a locale themselves.
export LANG="${VANTOREL_LANG:-C.UTF-8}"
unset LC_ALL LANGUAGE

# Starts a wineserver that stays up for a while after its last client, detached
# from every pipe (a server that inherits ctest's output pipe makes ctest hang).
wine_server_up() {
  setsid wineserver -p60 </dev/null >/dev/null 2>&1 || true  # already running is fine
  setsid wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}
