#!/usr/bin/env bash
# The Windows stage: cross-builds the non-Qt program and the portable suites with mingw-w64
# against the real Windows headers (warnings are errors), runs them under Wine inside Xvfb (the
# provider's and the engine's hidden windows need a display there), runs the DFU API smoke
# program, and compares the layout check's output over the real headers with its output over the
# stand-in (built by the AddressSanitizer stage in build/asan).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="${QUILLON_JOBS:-$(nproc)}"
build="$root/build/mingw"
export CCACHE_BASEDIR="$root"

"$root/scripts/deps.sh" g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth

start=$SECONDS
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/MinGW64.cmake" -DCMAKE_CXX_FLAGS=-Werror >/dev/null
cmake --build "$build" -j "$jobs"

# A prefix of our own, made once; Wine's own debug chatter off.
export WINEPREFIX="$build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
status=0
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -u
  status=0
  # Made (or brought up to date) on this display: a prefix first seen by a test would spend the
  # smoke test'"'"'s 5 s on setting itself up.
  wineboot -i >/dev/null 2>&1 || true
  (cd "$1" && ctest --output-on-failure -j "$2" -L windows) || status=1
  wine "$1/tests/windows/windows_layout_check.exe" | tr -d "\r" > "$1/layout-windows.txt" || status=1
  wineserver -k || true
  exit $status' _ "$build" "$jobs" || status=1

standin="$root/build/asan/tests/windows/windows_layout_check"
if [[ -x "$standin" ]]; then
  "$standin" > "$build/layout-standin.txt"
  if diff -u "$build/layout-standin.txt" "$build/layout-windows.txt"; then
    echo "Layout check: stand-in and Windows headers agree ($(wc -l < "$build/layout-windows.txt") lines)"
  else
    echo "Layout check: the stand-in's records or constants differ from the Windows headers (above)"
    status=1
  fi
else
  echo "Layout check: $standin is missing (the AddressSanitizer build makes it)"
  status=1
fi
echo "Windows stage: $((SECONDS - start)) s"
exit $status
