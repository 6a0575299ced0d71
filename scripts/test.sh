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
# pass by. Its failed run and output stay in the log above its second run.
ctest_args=(--output-on-failure -j "$jobs" --repeat until-pass:2)
status=0
echo "== ThreadSanitizer: threaded suites =="
(cd "$root/build/tsan" && ctest "${ctest_args[@]}" -L threaded) || status=1
echo "== AddressSanitizer + UndefinedBehaviorSanitizer: all suites =="
(cd "$root/build/asan" && ctest "${ctest_args[@]}") || status=1
exit $status
