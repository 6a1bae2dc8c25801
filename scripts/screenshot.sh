#!/usr/bin/env bash
# Retakes docs/screenshot.png: the real k3gap under a virtual display, over a generated history of
# 福建快3 (78 draws a day), after a search (2 at the first position) and a group calculation (pairs
# of 1, 3, 5). The settings and the data live in a temporary folder. Usage: scripts/screenshot.sh [BIN_DIR [OUT]]
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(realpath "${1:-build/bin}")
out=$(realpath -m "${2:-docs/screenshot.png}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"

# The program takes its data folder beside itself when that folder is writable.
cp "$bin/k3gap" "$work/"
python3 - >"$work/history.txt" <<'PY'
import datetime, random
random.seed(20261120)
day = datetime.date(2026, 11, 20)
for _ in range(18):
    for n in range(1, 79):
        print("%s%03d %d%d%d\r" % (day.strftime("%y%m%d"), n, *(random.randint(1, 6) for _ in range(3))))
    day += datetime.timedelta(days=1)
PY
"$bin/k3gap-cli" --data "$work" import "$work/history.txt" >/dev/null

xvfb-run -a -s "-screen 0 1280x860x24" bash -s "$work" "$out" <<'SH'
set -euo pipefail
work=$1 out=$2
"$work/k3gap" &
app=$!
win=$(xdotool search --sync --onlyvisible --name "快3遗漏分析" | head -1)
sleep 1
at() { xdotool mousemove --window "$win" "$1" "$2" click 1; sleep 0.3; }
at 335 94                                    # 第1位
at 358 129; xdotool type --delay 50 2; sleep 0.3   # value 2
at 730 129; sleep 1                          # 检索
at 297 245; at 376 245; at 455 245           # values 1, 3, 5
at 1061 276; sleep 1                         # 分组计算
xdotool mousemove --window "$win" 1185 785
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$win")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
kill "$app"
SH
echo "written: $out"
