#!/usr/bin/env bash
# Runs the shell commands of docs/GUIDE.md as they are written there (every ```sh block, in order, from
# the top of the source tree), with HOME pointing to a scratch folder so that the guide's $HOME/zem prefix
# is a fresh one, and on the offscreen platform. A block that starts Designer is only checked to name an
# installed plugin folder. The build folder is reused when it exists; build-examples is made afresh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scratch=$(mktemp -d /tmp/zem-guide.XXXXXX)
trap 'rm -rf "$scratch" "$root/build-examples"' EXIT
rm -rf build-examples
export HOME=$scratch QT_QPA_PLATFORM=offscreen
unset TARVOK_DLL_PATH DISPLAY WAYLAND_DISPLAY

blocks=$(awk '/^```sh$/ { n++; on = 1; next } /^```$/ { on = 0 } on { print n "\t" $0 }' docs/GUIDE.md)
[ -n "$blocks" ] || { echo "docs/GUIDE.md has no shell commands"; exit 1; }
for n in $(cut -f1 <<<"$blocks" | sort -un); do
  block=$(awk -F'\t' -v n="$n" '$1 == n { sub(/^[^\t]*\t/, ""); print }' <<<"$blocks")
  if grep -qw designer <<<"$block"; then
    dir=$(eval echo "$(sed -n 's/.*QT_PLUGIN_PATH=\([^ ]*\).*/\1/p' <<<"$block")")
    [ -f "$dir/designer/libzem_pack_designer.so" ] || { echo "guide: no Designer plugin under $dir"; exit 1; }
    echo "guide block $n: the Designer plugin is in $dir/designer"
    continue
  fi
  echo "guide block $n:"; sed 's/^/  $ /' <<<"$block"
  bash -euo pipefail -c "$block" >"$scratch/block$n.log" 2>&1 || { cat "$scratch/block$n.log"; echo "guide block $n failed"; exit 1; }
done
echo "guide: every command ran as written"
