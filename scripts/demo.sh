#!/usr/bin/env bash
# Runs the launcher once, for real, under Wine: a temporary game folder with
# Q8.exe and the demo game as Q8Main.EXE, narrated from the outside with
# timestamps. Arguments go to the launcher, which hands them to the game:
#   scripts/demo.sh                 the demo game closes itself after 5 s
#   scripts/demo.sh --seconds=10    ... after 10 s
#   scripts/demo.sh --stay          it stays open until its window is closed
# except --quit-after=S: the game stays open until the launcher's quit event
# is set, and the quit tool sets it S seconds after the game announced itself.
# It runs the 32-bit build, which ships, where this host runs 32-bit programs,
# else the x86-64 build of the same sources; the first narrated line says which.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-run.sh

bash scripts/setup.sh
run_arch
arch="$Q8_RUN_ARCH"
cmake --preset "$arch" >/dev/null
cmake --build --preset "$arch" -j"$(nproc)" --target Q8 Q8Quit DemoGame DemoNarrator >/dev/null

narrator_options=()
launcher_arguments=()
for a in "$@"; do
  case "$a" in
    --quit-after=*) narrator_options+=("$a"); launcher_arguments+=(--until-quit) ;;
    *) launcher_arguments+=("$a") ;;
  esac
done

wine_session demo "$arch"

game_dir=$(mktemp -d /tmp/q8-demo.XXXXXX)
cp "build/$arch/Q8.exe" "$game_dir/Q8.exe"
cp "build/$arch/DemoGame.exe" "$game_dir/Q8Main.EXE"
echo "game folder: $game_dir (Q8.exe and the demo game as Q8Main.EXE)"

launcher=$("$Q8_WINE" winepath -w "$game_dir/Q8.exe")
"$Q8_WINE" "build/$arch/DemoNarrator.exe" "${narrator_options[@]}" "$launcher" "${launcher_arguments[@]}"
rm -rf "$game_dir"
