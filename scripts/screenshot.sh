#!/usr/bin/env bash
# Retakes every picture of the window that the README and the help pages show: the real k3gap window
# under a virtual display, started on an empty data folder whose folder 历史号码 holds a generated
# history of 福建快3 (18 days of 78 draws, with two lines of notes the import skips), driven by its
# controls' names as a player drives it in a first hour (build/bin/k3gap-screens; the scenes are
# listed at the top of tests/screens/screens.cpp):
#   DOCS_DIR/screenshot.png, DOCS_DIR/overview.png   the README's pictures
#   DOCS_DIR/img/*.png                               the pictures of the manual and the walkthrough
# Every picture is also left in SHOTS_DIR. The settings and the data live in a temporary folder; the
# home folder the window sees is /home/player, so the examples it derives from it read the same on
# every machine, and its language is Chinese, as a player's is (dates and file types in the file
# dialog). The same history gives the same pictures until the window changes.
# Usage: scripts/screenshot.sh [BIN_DIR [DOCS_DIR [SHOTS_DIR]]]   (defaults: build/bin docs build/screens)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(realpath "${1:-build/bin}")
docs=$(realpath -m "${2:-docs}")
shots=$(realpath -m "${3:-build/screens}")
for tool in k3gap-screens; do
  [[ -x "$bin/$tool" ]] || { echo "missing $bin/$tool (cmake --build build --target $tool)" >&2; exit 1; }
done
# A fixed folder, so that the file dialog shows the same path every time; one run at a time uses it.
work="${TMPDIR:-/tmp}/k3gap-screens"
exec 9>"$work.lock"
flock 9
rm -rf "$work"
trap 'rm -rf "$work"' EXIT
data="$work/k3gap"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/share" XDG_CACHE_HOME="$work/cache"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$data/历史号码" "$work/runtime" "$shots" "$docs/img"
chmod 700 "$work/runtime"
rm -f "$shots"/*.png

history="$data/历史号码/福建快3历史号码.txt"
python3 - >"$history" <<'PY'
import datetime, random
random.seed(20261120)
day = datetime.date(2026, 11, 20)
print("福建快3历史号码\r")
for _ in range(18):
    if day.day == 1:
        print("——以下为12月——\r")
    for n in range(1, 79):
        print("%s%03d %d%d%d\r" % (day.strftime("%y%m%d"), n, *(random.randint(1, 6) for _ in range(3))))
    day += datetime.timedelta(days=1)
PY
touch -d "2026-12-08 22:10" "$history"

HOME=/home/player LANG=zh_CN.UTF-8 LANGUAGE=zh_CN QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x900x24" \
  "$bin/k3gap-screens" "$data" "$shots"
cp "$shots/screenshot.png" "$shots/overview.png" "$docs/"
rm -f "$docs"/img/*.png
find "$shots" -maxdepth 1 -name '*.png' ! -name screenshot.png ! -name overview.png -exec cp {} "$docs/img/" \;
echo "copied screenshot.png and overview.png to $docs, the other pictures to $docs/img"
