#!/usr/bin/env bash
# Builds and runs the main job: the demo host application (demo/). With a display it opens the window;
# without one it runs on the offscreen platform, writes a screenshot (out/zem_demo.png) and exits.
# Works on a clean checkout: configures the build folder (build/, or ZEM_BUILD_DIR) when it is missing.
# Extra arguments go to the demo (zem_demo --help). ZEM_JOBS limits the build's parallel jobs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZEM_BUILD_DIR:-$root/build}
jobs=${ZEM_JOBS:-$(nproc)}

"$root/tools/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# The demo and what it loads at run time by file name: the registry and the driver libraries.
ninja -C "$build" -j "$jobs" zem_demo kdm_pub_ptr zem_drv_sqlite zem_drv_pg

demo=$build/bin/zem_demo
export TARVOK_DLL_PATH="$build/bin"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  mkdir -p "$root/out"
  shot=$root/out/zem_demo.png
  rm -f "$shot"
  QT_QPA_PLATFORM=offscreen "$demo" --screenshot "$shot" "$@"
  echo "screenshot: $shot"
else
  exec "$demo" "$@"
fi
