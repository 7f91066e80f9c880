# Sourced by the scripts that run Windows programs: a Wine prefix of the
# project's own, created once, and an X display (Xvfb when none is set), so
# message boxes and windows are real.
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-q8}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko add-on prompts

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine: creating the prefix $WINEPREFIX"
  wineboot --init >/dev/null 2>&1 || true
  wineserver -w
fi

if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  Q8_XVFB_PID=$!
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
  export DISPLAY=":$n"
  trap '{ wineserver -k; kill $Q8_XVFB_PID; } 2>/dev/null || true' EXIT
fi
