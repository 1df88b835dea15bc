#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short, bounded time: first over the
# committed regression inputs (fuzz/regress/<name>/), then fresh fuzzing from the seed corpus
# (fuzz/corpus/<name>/, copied so the tree stays clean). Fails when any target finds a crash.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZEM_FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${ZEM_FUZZ_SECONDS:-20}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZEM_FUZZ=ON -DZEM_TESTS=OFF -DZEM_BENCH=OFF -DZEM_WIDGETS=ON >/dev/null
ninja -C "$build" -j "${ZEM_JOBS:-$(nproc)}"

status=0
for bin in "$build"/bin/fuzz_*; do
  [ -x "$bin" ] || continue
  name=$(basename "$bin"); name=${name#fuzz_}
  work=$(mktemp -d /tmp/zem-fuzz-$name.XXXXXX)
  [ -d "$root/fuzz/corpus/$name" ] && cp -r "$root/fuzz/corpus/$name/." "$work/"
  if [ -d "$root/fuzz/regress/$name" ] && ls "$root/fuzz/regress/$name"/* >/dev/null 2>&1; then
    echo "== $name: regression inputs"
    "$bin" "$root/fuzz/regress/$name"/* >"$work.log" 2>&1 || { cat "$work.log"; status=1; }
  fi
  echo "== $name: fuzzing for ${seconds}s"
  if ! "$bin" -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=10 \
       -artifact_prefix="$work/" "$work" >"$work.log" 2>&1; then
    tail -n 40 "$work.log"
    echo "fuzz target $name failed; artifacts in $work"
    status=1
  else
    grep -E '^(Done|#[0-9]+ +DONE)' "$work.log" | tail -n 1 || true
    rm -rf "$work" "$work.log"
  fi
done
exit $status
