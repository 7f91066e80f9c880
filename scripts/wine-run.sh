#!/usr/bin/env bash
# Wine for the test run and for the scripts that run Windows programs.
#
# One template prefix per architecture, made once (build/wine/template-win32
# or -win64), and for each scenario a prefix of its own: a hard-linked copy of
# the template whose registry files are real copies, since Wine rewrites those
# in place. Each prefix has its own wineserver, so the scenarios' named
# objects never meet. The test run keeps its prefixes and its X server in
# build/wine/run, and ends every Wine process there by its prefix.
#
# Run, it is the test run's commands (CTest's fixtures and scenario lines):
#   wine-run.sh begin                 the run directory and an X server
#   wine-run.sh end                   ends them; fails if a Windows process of
#                                     the run was still there
#   wine-run.sh template ARCH         makes the template prefix of ARCH
#   wine-run.sh prefix ARCH NAME      a prefix that scenarios share (below)
#   wine-run.sh scenario ARCH NAME LANG PROGRAM.exe [ARGUMENTS...]
#     runs PROGRAM under Wine for ARCH (win32 or win64) with the locale LANG
#     (which sets Wine's ANSI code page), in the shared prefix NAME if there
#     is one, else in a prefix of its own, removed afterwards.
# Sourced (the demo, the residency report), it gives wine_session.

export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko add-on prompts, and no menu entries for the programs run.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

Q8_WINE_DIR="${Q8_WINE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wine}"
Q8_WINE_RUN="$Q8_WINE_DIR/run"
source "$(dirname "${BASH_SOURCE[0]}")/project.sh"

# The architecture the Windows programs are built for and Wine runs: win32
# (what ships) or win64. Sets WINEARCH, the Wine loader Q8_WINE (64-bit Wine
# by its own loader, as Debian's wine script picks the 32-bit one whenever it
# is installed) and the template's paths.
wine_arch() {
  export WINEARCH="$1"
  case "$1" in
    win32) Q8_WINE=wine ;;
    win64)
      Q8_WINE="$(command -v wine64 || echo /usr/lib/wine/wine64)"
      # Wine starts the programs' own children through the same loader.
      export WINELOADER="$Q8_WINE"
      ;;
    *) echo "wine: no such architecture: $1" >&2; return 2 ;;
  esac
  Q8_TEMPLATE="$Q8_WINE_DIR/template-$1"
  # Written last when the template is complete: the Wine version it was made
  # with. Beside it, the list of the template's files with their mode, size
  # and time, to check that none of them changed since.
  Q8_TEMPLATE_STAMP="$Q8_TEMPLATE/.q8-template"
  Q8_TEMPLATE_FILES="$Q8_TEMPLATE.files"
}

# The process ids of every process whose WINEPREFIX is the prefix $1, or (with
# a trailing slash) any prefix below the directory $1.
wine_pids() {
  local exact=-x
  [[ "$1" == */ ]] && exact=""
  env -u WINEPREFIX grep -lsFz $exact -- "WINEPREFIX=$1" /proc/[0-9]*/environ 2>/dev/null |
    sed -n 's|^/proc/\([0-9]*\)/environ$|\1|p' | grep -vx "$$" || true
}

# The directory of the wineserver's socket for the prefix $1, which the
# wineserver leaves behind.
wine_socket_dir() {
  local base="/tmp/.wine-$(id -u)"
  # Debian's Wine keeps the name of its base directory in the prefix.
  [ -f "$1/wineserver" ] && base="/tmp/$(cat "$1/wineserver")"
  printf '%s/server-%s-%x' "$base" "$(stat -c %D "$1")" "$(stat -c %i "$1")"
}

# Makes the template of the architecture $1 unless a complete one for this
# Wine version and these services turned off is there. Every scenario starts
# its prefix afresh: the services that start with it and serve nothing the
# launcher or its tests use (devices, input devices, networking, the event
# log) would cost a third of that start's processor time.
wine_template() {
  local version service off=(PlugPlay Eventlog NDIS nsiproxy MountMgr winebus)
  wine_arch "$1"
  # Its loader is the one 32-bit program 32-bit Wine always runs.
  if [ "$1" = win32 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "wine: 32-bit Wine does not start on this host, which runs 32-bit programs:" \
      "install the package wine32:i386 (scripts/setup.sh does; its log is build/setup.log)" >&2
    return 1
  fi
  version="$("$Q8_WINE" --version), services off: ${off[*]}"
  mkdir -p "$Q8_WINE_DIR"
  (
    flock 9
    [ "$(cat "$Q8_TEMPLATE_STAMP" 2>/dev/null)" = "$version" ] && [ -f "$Q8_TEMPLATE_FILES" ] &&
      exit 0
    echo "wine: making the template prefix $Q8_TEMPLATE"
    rm -rf "$Q8_TEMPLATE"
    # A fixed locale, so the template is the same whoever makes it; a
    # scenario's own LANG takes effect when its copy starts.
    env -u LC_ALL -u LC_CTYPE -u LC_MESSAGES LANG=C.UTF-8 WINEPREFIX="$Q8_TEMPLATE" \
      "$Q8_WINE" wineboot --init >/dev/null 2>&1 || true
    {
      printf 'REGEDIT4\r\n\r\n'
      for service in "${off[@]}"; do
        printf '[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\%s]\r\n"Start"=dword:00000004\r\n' "$service"
      done
    } >"$Q8_TEMPLATE/drive_c/services.reg"
    WINEPREFIX="$Q8_TEMPLATE" "$Q8_WINE" regedit /S 'C:\services.reg' >/dev/null 2>&1
    rm -f "$Q8_TEMPLATE/drive_c/services.reg"
    WINEPREFIX="$Q8_TEMPLATE" wineserver -w
    rm -rf "$(wine_socket_dir "$Q8_TEMPLATE")"
    [ -f "$Q8_TEMPLATE/system.reg" ] || { echo "wine: could not make $Q8_TEMPLATE" >&2; exit 1; }
    wine_template_files >"$Q8_TEMPLATE_FILES"
    echo "$version" >"$Q8_TEMPLATE_STAMP"
  ) 9>"$Q8_TEMPLATE.lock"
}

wine_template_files() {
  find "$Q8_TEMPLATE" -type f ! -path "$Q8_TEMPLATE_STAMP" -printf '%P (mode %m, %s bytes, %T@)\n' |
    LC_ALL=C sort
}

# Makes a prefix named after $1 below the run directory (exactly $1 with $2 =
# shared) and prints its path. The copy takes about 0.05 s.
wine_prefix_new() {
  local prefix reg name="${1//[^A-Za-z0-9._@-]/_}"
  if [ "${2:-}" = shared ]; then
    prefix="$Q8_WINE_RUN/$name"
    mkdir "$prefix" || return 1
  else
    prefix="$(mktemp -d "$Q8_WINE_RUN/${name:0:64}.XXXX")"
  fi
  cp -al "$Q8_TEMPLATE/." "$prefix/"
  for reg in "$Q8_TEMPLATE"/*.reg; do
    cp --remove-destination "$reg" "$prefix/${reg##*/}"
  done
  echo "$prefix"
}

# Ends every process of the prefix $1 and removes it, with its wineserver's
# socket directory. Answers 1 if a process had to be killed one by one.
wine_prefix_end() {
  local prefix="$1" pids socket_dir status=0 i
  [ -d "$prefix" ] || return 0
  socket_dir="$(wine_socket_dir "$prefix")"
  # The wineserver ends every process connected to it, then itself.
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  for i in $(seq 50); do
    pids="$(wine_pids "$prefix")"
    [ -z "$pids" ] && break
    sleep 0.1
  done
  if [ -n "$pids" ]; then
    echo "wine: killing what is left of $prefix:" >&2
    ps -o pid,args -p "$(echo $pids | tr ' ' ,)" >&2 || true
    kill -KILL $pids 2>/dev/null || true
    status=1
  fi
  rm -rf "$socket_dir" "$prefix"
  return "$status"
}

# The run directory, and an X server when there is no display, which stays
# when this ends (CTest's fixture): its display number in the run directory.
wine_run_begin() {
  wine_run_end 2>/dev/null || true  # what a run killed outright left
  mkdir -p "$Q8_WINE_RUN"
  if [ -n "${DISPLAY:-}" ]; then
    echo "${DISPLAY#:}" >"$Q8_WINE_RUN/display"
    return
  fi
  # Xvfb picks a free display itself and writes its number to fd 3; in a
  # session of its own, holding none of the test's output open.
  setsid Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$Q8_WINE_RUN/display.new" \
    </dev/null >/dev/null 2>&1 &
  echo $! >"$Q8_WINE_RUN/xvfb.pid"
  # A number is taken only with its line's end: whole.
  local display=""
  for _ in $(seq 200); do
    read -r display <"$Q8_WINE_RUN/display.new" && [[ "$display" =~ ^[0-9]+$ ]] && break
    display=""
    kill -0 "$(cat "$Q8_WINE_RUN/xvfb.pid")" 2>/dev/null || break
    sleep 0.05
  done
  [ -n "$display" ] || { echo "wine: Xvfb did not start" >&2; return 1; }
  echo "$display" >"$Q8_WINE_RUN/display"
}

# Ends every Wine process of the run and its X server and removes its
# prefixes. Answers 1, naming them, if any had to be killed one by one or is
# still there.
wine_run_end() {
  local status=0 prefix left xvfb=""
  [ -d "$Q8_WINE_RUN" ] || return 0
  # This shell's own children (the search below) are no Wine processes.
  unset WINEPREFIX
  for prefix in "$Q8_WINE_RUN"/*/; do
    [ -d "$prefix" ] && { wine_prefix_end "${prefix%/}" || status=1; }
  done
  # A template interrupted while it was made.
  for prefix in "$Q8_WINE_DIR"/template-*/; do
    [ -f "$prefix.q8-template" ] || wine_prefix_end "${prefix%/}" || true
  done
  if [ -f "$Q8_WINE_RUN/xvfb.pid" ]; then
    xvfb="$(cat "$Q8_WINE_RUN/xvfb.pid")"
    [ "$(cat "/proc/$xvfb/comm" 2>/dev/null)" = Xvfb ] && kill "$xvfb"
    for _ in $(seq 50); do kill -0 "$xvfb" 2>/dev/null || break; sleep 0.1; done
  fi
  left="$(wine_pids "$Q8_WINE_RUN/")"
  if [ -n "$left" ] || { [ -n "$xvfb" ] && kill -0 "$xvfb" 2>/dev/null; }; then
    echo "wine: processes of this run still there:" >&2
    ps -o pid,args -p "$(echo $left $xvfb | tr ' ' ',')" >&2 || true
    status=1
  fi
  rm -rf "$Q8_WINE_RUN"
  return "$status"
}

# One program under Wine for a scenario of the test run; see the top.
wine_scenario() {
  local arch="$1" name="$2" lang="$3" prefix own=1 status changed
  shift 3
  wine_arch "$arch" || return 2
  if [ ! -f "$Q8_WINE_RUN/display" ] || [ ! -f "$Q8_TEMPLATE_STAMP" ]; then
    echo "wine: no run set up: scripts/test.sh e2e-$arch runs the scenarios with what they need" >&2
    return 2
  fi
  export DISPLAY=":$(cat "$Q8_WINE_RUN/display")"
  if [ -d "$Q8_WINE_RUN/$name" ]; then
    prefix="$Q8_WINE_RUN/$name" own=""
  else
    prefix="$(wine_prefix_new "$name")" || return 1
    trap 'wine_prefix_end "$prefix"; exit 143' TERM INT
  fi
  # Only LANG chooses the locale, and with it the code page.
  unset "${!LC_@}"
  LANG="$lang" WINEPREFIX="$prefix" "$Q8_WINE" "$@" &
  wait $!
  status=$?
  [ -z "$own" ] || wine_prefix_end "$prefix"
  changed="$(wine_template_files | diff - "$Q8_TEMPLATE_FILES" | sed -n 's/^< //p')"
  if [ -n "$changed" ]; then
    echo "$name (or a scenario beside it) wrote through a hard link into the template:" >&2
    echo "$changed" >&2
    status=1
  fi
  return "$status"
}

# For a script that runs Windows programs outside the test run (the demo, the
# residency report): the template of the architecture $2, a display, and a
# prefix of its own named $1 as WINEPREFIX, all ended and removed when the
# script exits.
wine_session() {
  Q8_WINE_RUN="$Q8_WINE_DIR/session.$$"
  wine_template "$2"
  wine_run_begin
  trap wine_run_end EXIT
  export DISPLAY=":$(cat "$Q8_WINE_RUN/display")"
  WINEPREFIX="$(wine_prefix_new "$1")"
  export WINEPREFIX
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -uo pipefail
  case "${1:-}" in
    begin) wine_run_begin ;;
    end) wine_run_end ;;
    template) wine_template "$2" ;;
    prefix) wine_arch "$2" && wine_prefix_new "$3" shared >/dev/null ;;
    scenario) shift; wine_scenario "$@" ;;
    *) echo "usage: $0 begin | end | template ARCH | prefix ARCH NAME | scenario ARCH NAME LANG PROGRAM.exe [ARGUMENTS...]" >&2
       exit 2 ;;
  esac
fi
