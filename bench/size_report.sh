#!/usr/bin/env bash
# Q8.exe's footprint: its size, its size outside resources and the DLLs it
# imports, each beside its target. Builds Q8.exe first if needed.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=build/win32/Q8.exe
if [ ! -f "$exe" ]; then
  bash scripts/setup.sh
  cmake --preset win32 >/dev/null && cmake --build --preset win32 --target Q8 >/dev/null
fi

total=$(stat -c %s "$exe")
# Raw size of the resource section, as the section table gives it.
rsrc_hex=$(i686-w64-mingw32-objdump -h "$exe" | awk '$2 == ".rsrc" { print $3 }')
rsrc=$(( 16#${rsrc_hex:-0} ))
rsrc_raw=$(( (rsrc + 511) / 512 * 512 ))
outside=$(( total - rsrc_raw ))
dlls=$(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { printf "%s ", $3 }')

printf '%-28s %8s   %s\n' "Q8.exe" "bytes" "target"
printf '%-28s %8d   at most 32768 (%s)\n' "whole file" "$total" \
  "$([ "$total" -le 32768 ] && echo met || echo MISSED)"
printf '%-28s %8d   at most 16384 (%s)\n' "outside resources" "$outside" \
  "$([ "$outside" -le 16384 ] && echo met || echo MISSED)"
printf '%-28s %8d\n' "resources (icon, version)" "$rsrc_raw"
printf '%-28s %s\n' "imported DLLs" "$dlls"
