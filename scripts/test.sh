#!/usr/bin/env bash
# Builds and runs every test: the whole suite under AddressSanitizer + UndefinedBehaviorSanitizer,
# then the threaded suites under ThreadSanitizer.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/deps.sh"
jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen
# Lets ccache share objects between checkouts in different folders.
export CCACHE_BASEDIR="$root"

cmake -S "$root" -B "$root/build/asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=asan >/dev/null
cmake --build "$root/build/asan" -j "$jobs"
cmake -S "$root" -B "$root/build/tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=thread \
      -DQUILLON_THREADED_TESTS_ONLY=ON -DQUILLON_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build/tsan" -j "$jobs"

# A test that fails is run once more: on a loaded machine a deadline of the threaded suites can
# pass by. Its failed run and output stay in the log above its second run, and the names of the
# tests that passed only on their second run are listed at the end, so none hides.
ctest_args=(--output-on-failure -j "$jobs" --repeat until-pass:2)
logs="$(mktemp -d "${TMPDIR:-/tmp}/quillon-ctest-XXXXXX")"
trap 'rm -rf "$logs"' EXIT
status=0
echo "== ThreadSanitizer: threaded suites =="
(cd "$root/build/tsan" && ctest "${ctest_args[@]}" -L threaded) 2>&1 | tee "$logs/tsan" || status=1
echo "== AddressSanitizer + UndefinedBehaviorSanitizer: all suites =="
(cd "$root/build/asan" && ctest "${ctest_args[@]}") 2>&1 | tee "$logs/asan" || status=1

# The Windows build under Wine; QUILLON_WINDOWS_STAGE=0 skips it.
if [[ "${QUILLON_WINDOWS_STAGE:-1}" != 0 ]]; then
  echo "== Windows: cross build, portable suites and smoke test under Wine =="
  "$root/scripts/windows-stage.sh" || status=1
fi

"$root/scripts/fuzz.sh" || status=1

# ctest prints a line per run: "Test #N: name ....***Failed" and, on the second run, "... Passed".
retried="$(for run in tsan asan; do
  awk -v run="$run" '
    match($0, /Test +#[0-9]+: [^ ]+ /) {
      split(substr($0, RSTART, RLENGTH), f, " ")
      name = f[3]
      if ($0 ~ /\*\*\*/) failed[name] = 1
      else if ($0 ~ / Passed /) passed[name] = 1
    }
    END { for (n in failed) if (n in passed) print run ": " n }' "$logs/$run"
done | sort)"
if [[ -n "$retried" ]]; then
  echo "== Tests that passed only on their second run =="
  echo "$retried"
fi
exit $status
