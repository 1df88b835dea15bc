#!/usr/bin/env bash
# Checks the floors of the source tree: every #include of a project header must point to the file's own
# folder or to a floor below it. Prints file:line for each include that reaches up (or sideways into
# another folder of the same floor) and fails when there is one.
#
#   tools/check-layers.sh [ROOT]     (default: the checkout holding this script)
#
# Floors, lowest first (docs/ARCHITECTURE.md, "Floors"):
#   0 frame (the ground floor: registry, loader, log, thread errors, unit table, start-up hook)
#   1 core/text   2 core/data   3 util, link, drivers, transport   4 dict   5 toolkit   6 controls
#   7 frame/startup (the composition root)   8 host   9 package, designer, demo, apps
# toolkit/ stands on Qt alone: it includes nothing of the project, and only controls and the floors
# above them include it. tests/, bench/, fuzz/ and examples/ are not checked.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

dirs=(frame core dict util link drivers transport toolkit controls package designer host demo apps)
present=()
for d in "${dirs[@]}"; do [ -d "$d" ] && present+=("$d"); done

find "${present[@]}" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.cc' -o -name '*.c' \
    -o -name '*.inc' \) | LC_ALL=C sort | xargs -r grep -nHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' |
awk '
# The group a path belongs to (the longest known prefix) and the floor of that group.
function group(path) {
  if (path ~ /^frame\/startup\//) return "frame/startup"
  if (path ~ /^frame\//) return "frame"
  if (path ~ /^core\/text\//) return "core/text"
  if (path ~ /^core\/data\//) return "core/data"
  n = split(path, part, "/")
  if (n < 2) return ""
  return part[1]
}
BEGIN {
  floor["frame"] = 0; floor["core/text"] = 1; floor["core/data"] = 2
  floor["util"] = 3; floor["link"] = 3; floor["drivers"] = 3; floor["transport"] = 3; floor["dict"] = 4
  floor["toolkit"] = 5; floor["controls"] = 6; floor["frame/startup"] = 7; floor["host"] = 8
  floor["package"] = 9; floor["designer"] = 9; floor["demo"] = 9; floor["apps"] = 9
  bad = 0
}
{
  # file:line:#include "x/y.h"
  file = $0; sub(/:.*/, "", file)
  rest = substr($0, length(file) + 2)
  line = rest; sub(/:.*/, "", line)
  text = substr(rest, length(line) + 2)
  inc = text
  sub(/^[^<"]*[<"]/, "", inc); sub(/[>"].*$/, "", inc)
  to = group(inc)
  if (!(to in floor)) next          # Qt, the standard library, a header beside the file
  from = group(file)
  if (!(from in floor) || from == to) next
  why = ""
  if (from == "toolkit") why = "toolkit/ includes Qt only"
  else if (to == "toolkit" && floor[from] < floor["controls"]) why = "only the controls and above use the toolkit"
  else if (floor[to] > floor[from]) why = "includes from a floor above (" to ")"
  else if (floor[to] == floor[from]) why = "includes from another folder of its floor (" to ")"
  if (why != "") { printf "%s:%s: %s: %s\n", file, line, why, inc; bad++ }
}
END {
  if (bad) { printf "%d include(s) break the floors\n", bad; exit 1 }
  print "floors: every include points down"
}'
