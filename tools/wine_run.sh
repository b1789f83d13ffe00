#!/usr/bin/env bash
# Runs a program of the mingw-w64 cross build under Wine (Debian's wine64, the 64-bit loader:
# the `wine` launcher looks for the 32-bit side first). CMake's cross-compiling emulator and
# tools/cross_windows.sh call it as
#   tools/wine_run.sh PREFIX DLL_DIRS PROGRAM.exe [ARGS...]
# PREFIX is the Wine prefix (made on first use); DLL_DIRS, colon-separated, are searched for DLLs
# after the program's own folder, with the mingw runtime's folders (libstdc++, libgcc,
# libwinpthread) after them.
set -euo pipefail
prefix=$1 dll_dirs=$2; shift 2
wine=${TRADECORE_WINE:-/usr/lib/wine/wine64}
[ -x "$wine" ] || { echo "wine_run.sh: $wine not found (Debian: apt-get install wine64)" >&2; exit 127; }

runtime=()
for d in /usr/lib/gcc/x86_64-w64-mingw32/*-posix /usr/x86_64-w64-mingw32/lib; do
  [ -d "$d" ] && runtime+=("$d")
done
winepath=""
IFS=: read -r -a dirs <<<"$dll_dirs"
for d in "${dirs[@]}" "${runtime[@]}"; do
  [ -n "$d" ] || continue
  # A fresh prefix maps drive Z: to the Unix root.
  winepath+="${winepath:+;}Z:${d//\//\\}"
done
export WINEPREFIX=$prefix WINEPATH=$winepath WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko: console programs need neither, and a fresh prefix would offer to install them.
# No debugger either: with it a crashed program exits with status 0; without it, with the
# exception's code, as on Windows.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}

# The first program of a server's life starts Wine's helper processes, which live as long as the
# server and keep that program's output open: a caller reading it (ctest) would wait for them.
# So the server is started here, kept for a while between programs (each then starts in a
# fraction of a second and none races a server shutting down), and the prefix booted with its
# output elsewhere. `wineserver -k` with the same WINEPREFIX ends it all at once.
wineserver="$(dirname "$wine")/wineserver"
mkdir -p "$prefix"
(
  flock 9
  if ! "$wineserver" -k0 2>/dev/null; then
    "$wineserver" -p"${TRADECORE_WINESERVER_LINGER:-30}" </dev/null >/dev/null 2>&1 9>&-
    "$wine" wineboot --init </dev/null >/dev/null 2>&1 9>&- || true
  fi
) 9>"$prefix/.tradecore-boot.lock"
exec "$wine" "$@"
