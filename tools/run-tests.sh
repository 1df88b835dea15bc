#!/usr/bin/env bash
# Builds everything and runs every test. The README's test command.
# A throwaway PostgreSQL server is started on loopback for the database tests and removed afterwards.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZEM_BUILD_DIR:-$root/build}
jobs=${ZEM_JOBS:-$(nproc)}

"$root/tools/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${ZEM_CMAKE_ARGS:-} >/dev/null
ninja -C "$build" -j "$jobs"

pgdir=$(mktemp -d /tmp/zem-pg.XXXXXX)
trap '"$root/tools/pg-test-cluster.sh" stop "$pgdir"' EXIT
ZEM_PG_CONNINFO=$("$root/tools/pg-test-cluster.sh" start "$pgdir")
export ZEM_PG_CONNINFO

status=0
(cd "$build" && ctest --output-on-failure --timeout "${ZEM_TEST_TIMEOUT:-600}" -j "$jobs" ${ZEM_CTEST_ARGS:-}) || status=$?
"$root/tools/test-share.sh" "$root" || true
exit $status
