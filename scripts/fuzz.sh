#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz and runs each for a bounded time; fails on
# any crash, leak or time-out. Each run starts from the seed corpus and the regressions; the seed
# corpus is copied to a scratch folder first (new inputs go there), so the repository's corpus and
# regressions are only read.
#
#   scripts/fuzz.sh                 every target, QUILLON_FUZZ_SECONDS each (default 10), all of
#                                   them within about QUILLON_FUZZ_BUDGET wall seconds (default 180)
#   scripts/fuzz.sh NAME...         only these targets, QUILLON_FUZZ_SECONDS each, no total cap
#
# QUILLON_FUZZ_JOBS targets run side by side (default: the number of cores). QUILLON_FUZZ_SECONDS=0
# skips the stage. An input that fails is kept in build/fuzz/artifacts/NAME/ for regressions/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/fuzz"
seconds="${QUILLON_FUZZ_SECONDS:-10}"
budget="${QUILLON_FUZZ_BUDGET:-180}"
jobs="${QUILLON_FUZZ_JOBS:-$(nproc)}"
export CCACHE_BASEDIR="$root"

if [[ "$seconds" == 0 ]]; then
  echo "== Fuzz targets: skipped (QUILLON_FUZZ_SECONDS=0) =="
  exit 0
fi
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ is not installed (scripts/deps.sh installs it)" >&2
  exit 1
fi

echo "== Fuzz targets (clang, libFuzzer, AddressSanitizer + UndefinedBehaviorSanitizer) =="
# -O1 with line tables: quick to build on a small CI machine, fast enough to fuzz, symbolized reports.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" -DCMAKE_CXX_COMPILER=clang++ \
      -DQUILLON_SANITIZE=asan -DQUILLON_FUZZ=ON -DQUILLON_BUILD_TESTS=OFF -DQUILLON_BUILD_BENCH=OFF >/dev/null

declare -A wanted=()
for name in "$@"; do wanted[$name]=1; done
targets=()
while IFS= read -r line; do
  [[ -z "$line" ]] && continue
  name="${line%%|*}"
  if (($# == 0)) || [[ -n "${wanted[$name]:-}" ]]; then
    targets+=("$line")
    unset "wanted[$name]"
  fi
done < "$build/fuzz_targets.txt"
for name in "${!wanted[@]}"; do
  echo "fuzz: no target named $name" >&2
  exit 1
done
if ((${#targets[@]} == 0)); then
  echo "fuzz: no targets"
  exit 0
fi

names=()
for line in "${targets[@]}"; do names+=("${line%%|*}"); done
cmake --build "$build" -j "$jobs" --target "${names[@]}"

# With every target, the stage as a whole keeps to the budget: rounds of $jobs targets side by side.
if (($# == 0)); then
  rounds=$(( (${#targets[@]} + jobs - 1) / jobs ))
  share=$(( budget / rounds ))
  ((share < 1)) && share=1
  ((share < seconds)) && seconds=$share
fi

scratch="$(mktemp -d "${TMPDIR:-/tmp}/quillon-fuzz-XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

run_target() {
  local name="$1" binary="$2" corpus="$3" regressions="$4" dict="$5"
  local work="$scratch/$name"
  mkdir -p "$work/corpus" "$work/artifacts"
  [[ -d "$corpus" ]] && cp -R "$corpus/." "$work/corpus/"
  # stdout closed: what the code under test prints (a feature prints a line per gesture report)
  # would only slow the run; libFuzzer reports on stderr.
  local args=(-max_total_time="$seconds" -timeout=25 -rss_limit_mb=2560 -print_final_stats=1
              -close_fd_mask=1 -artifact_prefix="$work/artifacts/")
  [[ -n "$dict" ]] && args+=(-dict="$dict")
  # The inputs that once failed seed the run too: libFuzzer reads every folder given and writes new
  # inputs only into the first.
  local folders=("$work/corpus")
  [[ -d "$regressions" ]] && folders+=("$regressions")
  local rc=0
  timeout --kill-after=10 $((seconds + 120)) "$binary" "${args[@]}" "${folders[@]}" >"$work/log" 2>&1 || rc=$?
  echo "$rc" >"$work/status"
}

echo "fuzz: ${#targets[@]} targets, $seconds s each, $jobs at a time"
for line in "${targets[@]}"; do
  IFS='|' read -r name binary corpus regressions dict <<<"$line"
  while (($(jobs -rp | wc -l) >= jobs)); do wait -n || true; done
  run_target "$name" "$binary" "$corpus" "$regressions" "$dict" &
done
wait

failed=()
for line in "${targets[@]}"; do
  name="${line%%|*}"
  work="$scratch/$name"
  rc="$(cat "$work/status" 2>/dev/null || echo 1)"
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)"
  seeds="$(sed -n 's/^INFO: seed corpus: files: \([0-9]*\).*/\1/p' "$work/log" | head -1)"
  if [[ "$rc" == 0 ]]; then
    echo "fuzz: $name: ${runs:-?} inputs from ${seeds:-?} seeds and regressions, no failure"
  else
    failed+=("$name")
    echo "fuzz: $name FAILED (exit $rc); the end of its log:"
    tail -n 60 "$work/log"
    if compgen -G "$work/artifacts/*" >/dev/null; then
      mkdir -p "$build/artifacts/$name"
      cp "$work/artifacts/"* "$build/artifacts/$name/"
      echo "fuzz: the failing input is kept in $build/artifacts/$name/"
    fi
  fi
done
if ((${#failed[@]})); then
  echo "fuzz: failed: ${failed[*]}"
  exit 1
fi
