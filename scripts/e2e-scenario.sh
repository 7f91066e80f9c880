#!/usr/bin/env bash
# Runs one end-to-end scenario under Wine for the architecture ARCH (win32 or
# win64), in a prefix of its own that is removed afterwards, with the locale
# LANG (which sets Wine's ANSI code page): CTest's command for each scenario
# listed in cmake/e2e.cmake.
#   scripts/e2e-scenario.sh ARCH NAME LANG PROGRAM.exe [ARGUMENTS...]
# It needs the run that scripts/test.sh sets up (the template prefix, the run
# directory and a display): scripts/test.sh e2e-ARCH runs the scenarios alone.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-run.sh"

if [ $# -lt 4 ] || ! wine_arch "$1" || [ -z "${Q8_WINE_RUN:-}" ] || [ ! -d "$Q8_WINE_RUN" ] ||
   [ ! -f "$Q8_TEMPLATE_STAMP" ]; then
  echo "usage: $0 ARCH NAME LANG PROGRAM.exe [ARGUMENTS...], within scripts/test.sh's run" >&2
  echo "(scripts/test.sh e2e-win32 or e2e-win64 runs the end-to-end tests alone)" >&2
  exit 2
fi
name="$2" lang="$3"
shift 3

prefix="$(wine_prefix_new "$name")" || exit 1
trap 'wine_prefix_end "$prefix"; exit 130' INT
trap 'wine_prefix_end "$prefix"; exit 143' TERM

# Only LANG chooses the locale, and with it the code page.
unset "${!LC_@}"
LANG="$lang" WINEPREFIX="$prefix" "$Q8_WINE" "$@" &
wait $!
status=$?

wine_prefix_end "$prefix"
changed="$(wine_template_changes)"
if [ -n "$changed" ]; then
  echo "$name (or a scenario beside it) wrote through a hard link into the template:" >&2
  echo "$changed" >&2
  status=1
fi
exit "$status"
