# Wine for the test run, sourced by scripts/test.sh and scripts/e2e-scenario.sh.
#
# One template prefix per architecture, made once (build/wine/template-win32
# or -win64), and for each scenario a prefix of its own: a hard-linked copy of
# the template whose registry files are real copies, since Wine rewrites those
# in place. Each prefix has its own wineserver, so the scenarios' named
# objects never meet. A run keeps its prefixes in a directory of its own
# (build/wine/run.PID), ends every Wine process by its prefix and every Xvfb
# by its process id, and leaves nothing behind, also when interrupted.

export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko add-on prompts, and no menu entries for the programs run.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

Q8_WINE_DIR="${Q8_WINE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wine}"
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

# Lists the template's files whose content, mode or time changed since it was
# made: through a hard link from one of the copies, as nothing else writes
# there.
wine_template_changes() {
  if [ -f "$Q8_TEMPLATE_FILES" ]; then
    wine_template_files | diff - "$Q8_TEMPLATE_FILES" | sed -n 's/^< //p'
  else
    echo "$Q8_TEMPLATE_FILES is missing"
  fi
}

# Makes a prefix for the scenario $1 below the run directory and prints its
# path. The copy takes about 0.05 s.
wine_prefix_new() {
  local prefix reg name="${1//[^A-Za-z0-9._@-]/_}"
  prefix="$(mktemp -d "$Q8_WINE_RUN/${name:0:64}.XXXX")"
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
    echo "wine: killing what is left of $prefix: $(echo $pids)" >&2
    kill -KILL $pids 2>/dev/null || true
    status=1
  fi
  rm -rf "$socket_dir" "$prefix"
  return "$status"
}

# The run's own directory for prefixes, and its X server when there is no
# display. Sets Q8_WINE_RUN and DISPLAY.
wine_run_begin() {
  local stale pid
  mkdir -p "$Q8_WINE_DIR"
  # Prefixes of runs that were killed outright.
  for stale in "$Q8_WINE_DIR"/run.*; do
    pid="${stale##*.}"
    [ -d "$stale" ] && ! kill -0 "$pid" 2>/dev/null || continue
    for prefix in "$stale"/*/; do wine_prefix_end "${prefix%/}" || true; done
    rm -rf "$stale"
  done
  export Q8_WINE_RUN="$Q8_WINE_DIR/run.$$"
  mkdir -p "$Q8_WINE_RUN"
  Q8_XVFB_PID=""
  if [ -z "${DISPLAY:-}" ]; then
    # Xvfb picks a free display itself and writes its number to fd 3. In a
    # process group of its own, so that a Ctrl-C leaves it to the end of the
    # run, after the Wine processes that use it.
    set -m
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$Q8_WINE_RUN/display" \
      </dev/null >/dev/null 2>&1 &
    Q8_XVFB_PID=$!
    set +m
    # A number is taken only with its line's end: whole.
    local display=""
    for _ in $(seq 200); do
      read -r display <"$Q8_WINE_RUN/display" && [[ "$display" =~ ^[0-9]+$ ]] && break
      display=""
      kill -0 "$Q8_XVFB_PID" 2>/dev/null || break
      sleep 0.05
    done
    [ -n "$display" ] || { echo "wine: Xvfb did not start" >&2; return 1; }
    export DISPLAY=":$display"
  fi
}

# Ends every Wine process of the run and its X server, removes its prefixes,
# and checks that none of them is left. Answers 1 if something had to be
# killed one by one or is still there.
wine_run_end() {
  local status=0 prefix left
  [ -n "${Q8_WINE_RUN:-}" ] || return 0
  # This shell's own children (the search below) are no Wine processes.
  unset WINEPREFIX
  for prefix in "$Q8_WINE_RUN"/*/; do
    [ -d "$prefix" ] && { wine_prefix_end "${prefix%/}" || status=1; }
  done
  # A template interrupted while it was made.
  for prefix in "$Q8_WINE_DIR"/template-*/; do
    [ -f "$prefix.q8-template" ] || wine_prefix_end "${prefix%/}" || true
  done
  if [ -n "${Q8_XVFB_PID:-}" ]; then
    kill "$Q8_XVFB_PID" 2>/dev/null || true
    wait "$Q8_XVFB_PID" 2>/dev/null || true
  fi
  left="$(wine_pids "$Q8_WINE_RUN/")"
  if [ -n "$left" ] || { [ -n "${Q8_XVFB_PID:-}" ] && kill -0 "$Q8_XVFB_PID" 2>/dev/null; }; then
    echo "wine: processes of this run still there:" >&2
    ps -o pid,args -p "$(echo $left $Q8_XVFB_PID | tr ' ' ',')" >&2 || true
    status=1
  fi
  rm -rf "$Q8_WINE_RUN"
  Q8_WINE_RUN="" Q8_XVFB_PID=""
  return "$status"
}

# For a script that runs Windows programs outside the test run (the demo, the
# residency report): the template of the architecture $2, a display, and a
# prefix of its own named $1 as WINEPREFIX, all ended and removed when the
# script exits.
wine_session() {
  wine_template "$2"
  wine_run_begin
  trap wine_run_end EXIT
  WINEPREFIX="$(wine_prefix_new "$1")"
  export WINEPREFIX
}
