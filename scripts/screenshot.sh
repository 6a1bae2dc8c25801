#!/usr/bin/env bash
# Retakes the pictures of the window: the real k3gap window under a virtual display, over a generated
# history of 福建快3 (78 draws a day), driven by its controls' names (build/bin/k3gap-screens):
#   DOCS_DIR/screenshot.png  the main window after a search (2 at the first position, its chart beside
#                            grid 2) and a group calculation (pairs of 1, 3, 5)
#   DOCS_DIR/overview.png    遗漏总表 with the chart of 和值 10
#   SHOTS_DIR/*.png          the dialogs a player meets: the first online update, the look-back
#                            question, an import that would shrink the history
# The settings and the data live in a temporary folder.
# Usage: scripts/screenshot.sh [BIN_DIR [DOCS_DIR [SHOTS_DIR]]]   (defaults: build/bin docs build/screens)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(realpath "${1:-build/bin}")
docs=$(realpath -m "${2:-docs}")
shots=$(realpath -m "${3:-build/screens}")
for tool in k3gap-cli k3gap-screens; do
  [[ -x "$bin/$tool" ]] || { echo "missing $bin/$tool (cmake --build build --target $tool)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
mkdir -p "$work/data" "$shots" "$docs"

python3 - >"$work/history.txt" <<'PY'
import datetime, random
random.seed(20261120)
day = datetime.date(2026, 11, 20)
for _ in range(18):
    for n in range(1, 79):
        print("%s%03d %d%d%d\r" % (day.strftime("%y%m%d"), n, *(random.randint(1, 6) for _ in range(3))))
    day += datetime.timedelta(days=1)
PY
"$bin/k3gap-cli" --data "$work/data" import "$work/history.txt" >/dev/null

QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x900x24" "$bin/k3gap-screens" "$work/data" "$shots"
cp "$shots/screenshot.png" "$shots/overview.png" "$docs/"
echo "copied screenshot.png and overview.png to $docs"
