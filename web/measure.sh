#!/usr/bin/env bash
# What ASYNCIFY costs the page: the build as `make web` makes it beside one linked without ASYNCIFY (in
# WEBBUILD/measure/noasync; that one cannot run in a page: its first wait that must yield aborts), their sizes
# raw and gzipped, and the time each takes to play the same long headless script under node (virtual clock:
# the game's own work, no sleeping). Usage: web/measure.sh [WEBBUILD] [NATIVE_BUILD]  (after `make web`)
set -euo pipefail
cd "$(dirname "$0")/.."
WEB=${1:-build-web}
NATIVE=${2:-build}
RUNS=${RUNS:-5}
DEPS=${WEB_DEPS:-$WEB/deps}
NOASYNC=$WEB/measure/noasync
[ -f "$WEB/korvatron.wasm" ] || { echo "measure: no $WEB/korvatron.wasm; run make web first" >&2; exit 1; }
if [ ! -f "$NOASYNC/cmake/Makefile" ]; then
    web/em.sh "$DEPS" emcmake cmake -S web -B "$NOASYNC/cmake" -DKORVA_ASYNCIFY=OFF \
        -DKORVA_DEPS="$(cd "$DEPS" && pwd)/prefix" -DKORVA_GAME_DATA="$PWD/$NATIVE/game" > /dev/null
fi
web/em.sh "$DEPS" cmake --build "$NOASYNC/cmake" -j 2 > "$NOASYNC/build.log"

# The menu's Game 2, then a tap on a rotator every 12 frames up to frame 3000, then a close (a quick save).
script=$WEB/measure/script.txt
python3 - "$script" <<'PY'
import sys
lines = ["90 tap 112 83"]
points = [(40 + 20 * i, 40 + 20 * j) for i in range(9) for j in range(9)]
frame, k = 110, 0
while frame < 3000:
    x, y = points[(k * 7) % 81]
    lines.append("%d tap %d %d" % (frame, x, y))
    frame, k = frame + 12, k + 1
lines.append("%d close" % (frame + 5))
open(sys.argv[1], "w").write("\n".join(lines) + "\n")
PY

for build in "$WEB" "$NOASYNC"; do
    label=$([ "$build" = "$WEB" ] && echo "ASYNCIFY" || echo "no ASYNCIFY")
    for f in korvatron.js korvatron.wasm; do
        printf 'size: %-12s %-15s %9d bytes, %9d gzip\n' "$label" "$f" "$(stat -c %s "$build/$f")" \
            "$(gzip -9 -c "$build/$f" | wc -c)"
    done
    times=$(cd "$build" && for _ in $(seq "$RUNS"); do
        NODE_PATH=/usr/share/nodejs node --no-experimental-fetch "$OLDPWD/web/headless-node.js" \
            "$OLDPWD/$script" --seed 7 2>/dev/null | grep '"ms"'
    done)
    echo "$times" | python3 -c '
import json, statistics, sys
runs = [json.loads(l) for l in sys.stdin if l.strip()]
assert runs and all(r["exit"] == 0 for r in runs), runs
print("time: %-12s %d frames headless under node, median of %d: %.0f ms (%s)" % (sys.argv[1], runs[0]["presents"],
      len(runs), statistics.median(r["ms"] for r in runs), ", ".join("%.0f" % r["ms"] for r in runs)))' "$label"
done
