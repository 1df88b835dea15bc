#!/usr/bin/env bash
# Takes the user guide's pictures again: every picture the demo can take of itself
# (zem_demo --show list) into docs/img/<name>.png, on the offscreen platform, from a fresh sample
# database and on a fixed day, so that they change only when what they show changes.
# Fails when a picture is not written, is not a PNG, is blank (the demo refuses a one-colour picture) or
# too small, when docs/GUIDE.md shows a picture that does not exist, or when it leaves one out.
#   tools/refresh-screenshots.sh [BUILD_DIR]     (default build/; builds zem_demo there first)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
img=$root/docs/img
ninja -C "$build" -j "${ZEM_JOBS:-2}" zem_demo kdm_pub_ptr zem_drv_sqlite zem_drv_pg >/dev/null

export QT_QPA_PLATFORM=offscreen TARVOK_DLL_PATH="$build/bin"
home=$(mktemp -d /tmp/zem-shots.XXXXXX)
trap 'rm -rf "$home"' EXIT
mkdir -p "$img"
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'; }

names=$("$build/bin/zem_demo" --show list 2>/dev/null | awk '{ print $1 }')
[ -n "$names" ] || { echo "zem_demo names no pictures"; exit 1; }
failed=0
for name in $names; do
  shot=$img/$name.png
  rm -f "$shot"
  if ! "$build/bin/zem_demo" --home "$home" --screenshot "$shot" --show "$name" >"$home/log" 2>&1; then
    echo "$name: not taken"; grep 'zem_demo:' "$home/log" || true; failed=1; continue
  fi
  if [ ! -s "$shot" ] || [ "$(head -c 8 "$shot" | od -An -tx1 | tr -d ' \n')" != 89504e470d0a1a0a ]; then
    echo "$name: no PNG written"; failed=1; continue
  fi
  read -r w h < <(png_size "$shot")
  if [ "$w" -lt 60 ] || [ "$h" -lt 40 ]; then echo "$name: ${w}x${h}, too small"; failed=1; continue; fi
  printf '%-16s %4dx%-4d %7d bytes\n' "$name" "$w" "$h" "$(stat -c %s "$shot")"
done

# The guide shows each picture once and none that is missing.
guide=$root/docs/GUIDE.md
for name in $names; do
  grep -q "(img/$name.png)" "$guide" || { echo "docs/GUIDE.md does not show img/$name.png"; failed=1; }
done
for ref in $(grep -o '(img/[A-Za-z0-9_]*\.png)' "$guide" | tr -d '()' | sort -u); do
  [ -f "$root/docs/$ref" ] || { echo "docs/GUIDE.md shows $ref, which does not exist"; failed=1; }
done
[ "$failed" = 0 ] || { echo "screenshots: FAILED"; exit 1; }
echo "screenshots: $(echo "$names" | wc -w) pictures in docs/img"
