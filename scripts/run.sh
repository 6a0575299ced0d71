#!/usr/bin/env bash
# Builds the program (release build, no sanitizers) and starts the wizard on a simulated machine.
# The devices come from the scenario in $QUILLON_SCENARIO (default: scenarios/default.xml).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# A scenario that cannot be read ends with 2, as the program itself does; checked before the build.
scenario="${QUILLON_SCENARIO:-$root/scenarios/default.xml}"
if [[ -d "$scenario" ]]; then
  echo "$scenario is a folder, not a scenario file: set QUILLON_SCENARIO to a scenario file." >&2
  exit 2
elif [[ ! -f "$scenario" || ! -r "$scenario" ]]; then
  echo "No scenario file to read at $scenario: set QUILLON_SCENARIO to a scenario file." >&2
  exit 2
fi

"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF >/dev/null
cmake --build "$root/build/release" -j "$(nproc)"

program="$root/build/release/app/Quillon"

if [[ -z "${QT_QPA_PLATFORM:-}" && -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  cat >&2 <<HELP
No display to show the wizard on. Built: $program
Start it in one of these ways:
  xvfb-run -a -s "-screen 0 1280x1024x24" $0
      a virtual X server (Debian's xvfb); add a screenshot tool to look at it
  QT_QPA_PLATFORM=vnc:size=1280x1024 $0
      Qt's VNC platform: connect a VNC viewer to port 5900 of this machine
  QT_QPA_PLATFORM=offscreen $0
      no picture at all, for a smoke test (its debug log still appears)
Another scenario: QUILLON_SCENARIO=/path/to/scenario.xml $0
HELP
  exit 1
fi

echo "Starting the wizard on $scenario"
export QUILLON_SCENARIO="$scenario"
exec "$program" "$@"
