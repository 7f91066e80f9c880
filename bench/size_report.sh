#!/usr/bin/env bash
# Q8.exe's footprint: its size, its size outside resources and the DLLs it
# imports, each beside its target, the images of the icon it carries, and the
# sizes of the tools shipped beside it.
# Builds Q8.exe first if needed. Exits with 1, after the whole report, when a
# size target is missed.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/project.sh
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

missed=0
# One size beside its target: LABEL BYTES TARGET.
target() {
  local verdict=met
  if [ "$2" -gt "$3" ]; then
    verdict=MISSED
    missed=1
  fi
  printf '%-28s %8d   at most %d (%s)\n' "$1" "$2" "$3" "$verdict"
}

printf '%-28s %8s   %s\n' "Q8.exe" "bytes" "target"
target "whole file" "$total" "$q8_size_limit"
target "outside resources" "$outside" "$q8_code_limit"
printf '%-28s %8d\n' "resources (icon, version)" "$rsrc_raw"
printf '%-28s %s\n' "imported DLLs" "$dlls"

# The icon's images, from the directory of resources/q8.ico (a width or
# height byte of 0 means 256).
ico=resources/q8.ico
u() { od -An -t"u$1" -j"$2" -N"$1" "$ico" | tr -d ' '; }
for i in $(seq 0 $(( $(u 2 4) - 1 ))); do
  entry=$(( 6 + 16 * i ))
  width=$(u 1 "$entry"); height=$(u 1 $(( entry + 1 )))
  offset=$(u 4 $(( entry + 12 )))
  kind="$(od -An -tx1 -j"$offset" -N4 "$ico" | tr -d ' ')"
  [ "$kind" = 89504e47 ] && kind=PNG || kind=bitmap
  printf '%-28s %8d   %s, %d-bit\n' "icon ${width/#0/256}x${height/#0/256}" \
    "$(u 4 $(( entry + 8 )))" "$kind" "$(u 2 $(( entry + 6 )))"
done

# The tools shipped beside it, which add nothing to Q8.exe: as shipped
# (32-bit), and the x86-64 build where there is one.
printf '\n%-28s %8s\n' "shipped beside Q8.exe" "bytes"
for tool in "${q8_programs[@]:1}"; do
  [ -f "build/win32/$tool.exe" ] || cmake --build --preset win32 --target "$tool" >/dev/null
  printf '%-28s %8d\n' "$tool.exe" "$(stat -c %s "build/win32/$tool.exe")"
  if [ -f "build/win64/$tool.exe" ]; then
    printf '%-28s %8d\n' "$tool.exe (x86-64 build)" "$(stat -c %s "build/win64/$tool.exe")"
  fi
done

exit "$missed"
