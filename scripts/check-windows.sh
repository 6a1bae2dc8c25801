#!/usr/bin/env bash
# Compiles every C++ file of the Qt-free core for Windows with MinGW-w64, syntax only (all but the POSIX
# side of the platform layer, *_posix.cpp): what only POSIX has stays behind the platform files
# (store/platform_posix.cpp, store/platform_windows.cpp), and a change that breaks the Windows build
# shows up here, though the core cannot run here.
set -euo pipefail
cd "$(dirname "$0")/.."
cxx=x86_64-w64-mingw32-g++-posix
if ! command -v "$cxx" >/dev/null 2>&1; then
    echo "$cxx is missing (package g++-mingw-w64-x86-64-posix, scripts/install-deps.sh installs it)" >&2
    exit 1
fi
folders=(store search groups history export overview trend stats watch)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The libraries' headers of this machine, each on its own: /usr/include as a whole would bring glibc's
# headers in place of the MinGW runtime's. Headers that are not installed are left out.
mkdir -p "$work/include"
for h in sqlite3.h boost libxml2/libxml unicode xlsxwriter.h xlsxwriter curl x86_64-linux-gnu/curl nlohmann zip.h \
    zipconf.h x86_64-linux-gnu/zipconf.h freexl.h; do
    if [ -e "/usr/include/$h" ] && [ ! -e "$work/include/$(basename "$h")" ]; then
        ln -s "/usr/include/$h" "$work/include/$(basename "$h")"
    fi
done
# What the build generates: the schema of the history database as a C++ string.
mkdir -p "$work/generated"
{
    sed -n '1,3p' store/schema.h.in
    printf 'inline constexpr const char* kHistorySchemaSql = R"K3SQL('
    cat data/schema.sql
    printf ')K3SQL";\n}\n'
} >"$work/generated/schema.h"

failed=0
count=0
while IFS= read -r -d '' file; do
    count=$((count + 1))
    # scripts/windows-include stands for what a Windows build of libxml2 brings beside its own headers
    # (libiconv's iconv.h); the Linux libxml2 headers include it.
    if ! "$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -I. -Istore -I"$work/generated" -Iscripts/windows-include \
        -I"$work/include" -I"$work/include/libxml2" "$file" 2>"$work/err"; then
        echo "-- $file" >&2
        head -n 20 "$work/err" >&2
        failed=$((failed + 1))
    fi
done < <(find "${folders[@]}" -name '*.cpp' ! -name '*_posix.cpp' -print0 | sort -z)
if [ "$failed" -gt 0 ]; then
    echo "check-windows: $failed of $count files of the core do not compile for Windows" >&2
    exit 1
fi
echo "check-windows: $count files of the core compile for Windows"
