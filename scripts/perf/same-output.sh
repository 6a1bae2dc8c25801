#!/usr/bin/env bash
# Checks that k3gap-cli and the window give byte-identical output before and after a change, on a
# history of a million draws (or DRAWS).
# usage: scripts/perf/same-output.sh BASE_COMMIT [DRAWS]
# The base commit is built in a temporary folder (with bench/window_outputs.cpp of this tree added);
# this tree must be built in build/ (targets k3gap-cli, window_outputs). Each command runs on its own
# copy of the same database; the script compares what they print, the files they write, the table YL
# and the database an import writes (in issue order and shuffled).
set -euo pipefail
cd "$(dirname "$0")/../.."
base=$1; draws=${2:-1000000}
new=$PWD/build/bin
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen

echo "building $base ..."
mkdir "$work/old"
git archive "$base" | tar -x -C "$work/old"
cp bench/window_outputs.cpp "$work/old/bench/"
cat >>"$work/old/bench/CMakeLists.txt" <<'CMAKE'
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(window_outputs window_outputs.cpp)
target_link_libraries(window_outputs PRIVATE k3gapwindow Qt6::Test)
CMAKE
cmake -S "$work/old" -B "$work/old/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/old/build" -j2 --target k3gap-cli window_outputs >/dev/null
old=$work/old/build/bin

echo "a history of $draws draws ..."
python3 - "$draws" "$work/history.txt" "$work/shuffled.txt" <<'PY'
import datetime, random, sys
n = int(sys.argv[1]); rng = random.Random(12345)
d, k, lines = datetime.date(2013, 1, 1), 1, []
for _ in range(n):
    lines.append("%02d%02d%02d%03d %d%d%d\r\n" % (d.year - 2000, d.month, d.day, k,
                 rng.randint(1, 6), rng.randint(1, 6), rng.randint(1, 6)))
    k += 1
    if k > 78: k, d = 1, d + datetime.timedelta(days=1)
open(sys.argv[2], "w").write("".join(lines))
rng.shuffle(lines)
lines.insert(len(lines) // 3, lines[len(lines) // 2][:10] + "666\r\n")  # a repeated issue
open(sys.argv[3], "w").write("".join(lines))
PY

failed=0
same() {  # same WHAT FILE_A FILE_B
  if cmp -s "$2" "$3"; then echo "same: $1 ($(wc -c <"$2") bytes)"; else echo "DIFFERENT: $1"; failed=1; fi
}
query() {  # query DB SQL: the rows, one a line, columns separated by "|"
  python3 -c 'import sqlite3, sys
for row in sqlite3.connect(sys.argv[1]).execute(sys.argv[2]):
    print("|".join("" if v is None else str(v) for v in row))' "$1" "$2"
}
table() { query "$1" "SELECT IDX, SQQH, strQQH, NF, YF, RQ, L1A, L2A, L3A, L1B, L2B, L3B, L1E, L2E, L3E, L1F, L2F, L3F,
  txtHisLst, txtHisLstHm, txtHisLstDx, txtHisLstDs, txtHisLstDuan, intTh, bolOk, txtHisP6 FROM lishi ORDER BY SQQH"; }

for file in history shuffled; do
  for v in old new; do
    mkdir -p "$work/import-$v-$file"
    "${!v}/k3gap-cli" --data "$work/import-$v-$file" import "$work/$file.txt" >"$work/import-$v-$file.out" 2>&1
    table "$work/import-$v-$file/gapbook.db" >"$work/import-$v-$file.table"
  done
  same "import of the $file file: messages" "$work/import-old-$file.out" "$work/import-new-$file.out"
  same "import of the $file file: table lishi" "$work/import-old-$file.table" "$work/import-new-$file.table"
done
db=$work/import-old-history/gapbook.db

i=0
while IFS= read -r args; do
  i=$((i + 1))
  for v in old new; do
    mkdir -p "$work/run$i-$v"
    cp "$db" "$work/run$i-$v/gapbook.db"
    (cd "$work/run$i-$v" && eval "\"${!v}/k3gap-cli\" --data . $args" >out.txt 2>err.txt || echo "exit $?" >>err.txt)
    query "$work/run$i-$v/gapbook.db" "SELECT * FROM YL" >"$work/run$i-$v/yl.txt"
  done
  same "$args: output" "$work/run$i-old/out.txt" "$work/run$i-new/out.txt"
  same "$args: messages" "$work/run$i-old/err.txt" "$work/run$i-new/err.txt"
  same "$args: table YL" "$work/run$i-old/yl.txt" "$work/run$i-new/yl.txt"
  [ -f "$work/run$i-old/h.txt" ] && same "$args: file" "$work/run$i-old/h.txt" "$work/run$i-new/h.txt"
done <<'COMMANDS'
show
next
search --pos 1=2 --pos 2=5
search --fixed --type big-small --pos 1=1 --pos 3=0 --from 130601001
partial --values 2,5,3 --width 2
partial --fixed --type odd-even --values 1,0,1 --width 2 --to 200101078
group --values 1,2,3,4,5,6 --size 3
group --type segment --values 0,1,2 --size 2 --sort sglLlr
group --type odd-even --values 0,1 --size 1 --from 150101001
overview
export-text h.txt
COMMANDS

for v in old new; do
  mkdir -p "$work/window-$v/data"
  cp "$db" "$work/window-$v/data/gapbook.db"
  (cd "$work/window-$v" && "${!v}/window_outputs" data settings.ini >out.txt 2>/dev/null)
  query "$work/window-$v/data/gapbook.db" "SELECT * FROM YL" >"$work/window-$v/yl.txt"
done
same "window: grids" "$work/window-old/out.txt" "$work/window-new/out.txt"
same "window: table YL" "$work/window-old/yl.txt" "$work/window-new/yl.txt"
same "window: exported text" "$(ls "$work"/window-old/data/*.txt)" "$(ls "$work"/window-new/data/*.txt)"
echo "window grids: $(grep -c . "$work/window-new/out.txt") lines"
exit $failed
