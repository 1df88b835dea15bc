#!/usr/bin/env bash
# Builds and runs the main job: the host application. On a machine without a display it runs on the
# offscreen platform and writes a screenshot (out/zem_demo.png) instead of showing a window.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZEM_BUILD_DIR:-$root/build}

"$root/tools/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
export TARVOK_DLL_PATH="$build/bin"

if [ -x "$build/bin/zem_demo" ] || ninja -C "$build" -t targets all 2>/dev/null | grep -q '^zem_demo:'; then
  ninja -C "$build" zem_demo
  mkdir -p "$root/out"
  if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    QT_QPA_PLATFORM=offscreen "$build/bin/zem_demo" --screenshot "$root/out/zem_demo.png" "$@"
    echo "screenshot: $root/out/zem_demo.png"
  else
    "$build/bin/zem_demo" "$@"
  fi
else
  # Until the demo host exists, the command-line host shows the package working.
  ninja -C "$build" zem_host_cli zem_pack kdm_pub_ptr
  "$build/bin/zem_host_cli" "$@"
fi
