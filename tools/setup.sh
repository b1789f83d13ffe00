#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine. Safe to run again.
set -euo pipefail
need_apt=()
for pkg in g++ cmake ninja-build ccache libgtest-dev googletest libbenchmark-dev clang libclang-rt-14-dev; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need_apt+=("$pkg")
done
if [ "${TRADECORE_WITH_MINGW:-1}" = 1 ]; then
  # The Windows leg: the cross compiler and Wine's 64-bit loader to run what it builds.
  for pkg in g++-mingw-w64-x86-64-posix wine64; do
    dpkg -s "$pkg" >/dev/null 2>&1 || need_apt+=("$pkg")
  done
fi
if [ ${#need_apt[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need_apt[@]}" >/dev/null
fi
python3 -m pip install -q --disable-pip-version-check -r "$(dirname "$0")/requirements-dev.txt"
