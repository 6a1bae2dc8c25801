#!/usr/bin/env bash
# Times the window from start until it is visible on a virtual display, and its memory then.
# usage: scripts/perf/window-startup.sh K3GAP_BINARY GAPBOOK_DB [RUNS]
# Each run copies the program beside a copy of the database (its data folder), starts it under Xvfb
# with settings of its own, waits until the main window is mapped, waits a further second for the
# work it does after it is shown, and prints the seconds to the window and the memory at both points.
set -euo pipefail
if [ -z "${K3GAP_UNDER_XVFB:-}" ]; then
  K3GAP_UNDER_XVFB=1 exec xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1280x860x24" "$0" "$@"
fi
bin=$(realpath "$1"); db=$(realpath "$2"); runs=${3:-3}
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
cp "$bin" "$work/k3gap"
mem() { awk '/^VmRSS|^VmHWM/ {printf "%s %d MB  ", $1, $2/1024}' "/proc/$1/status"; }
for i in $(seq "$runs"); do
  rm -f "$work"/gapbook.db* && cp "$db" "$work/gapbook.db"
  sync; sleep 0.5
  start=$(date +%s.%N)
  XDG_CONFIG_HOME="$work/config" "$work/k3gap" >"$work/log" 2>&1 & pid=$!
  until xdotool search --onlyvisible --name '快3遗漏分析' >/dev/null 2>&1; do
    kill -0 $pid 2>/dev/null || { echo "k3gap ended early:"; cat "$work/log"; exit 1; }
    sleep 0.005
  done
  end=$(date +%s.%N)
  shown=$(mem $pid)
  sleep 1
  printf 'run %d: %s s  at start: %s  1 s later: %s\n' "$i" "$(awk "BEGIN { printf \"%.3f\", $end - $start }")" "$shown" \
    "$(mem $pid)"
  kill $pid; wait $pid 2>/dev/null || true
done
