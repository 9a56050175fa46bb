# Sourced by every script that runs Wine. kesk_start_xvfb FIRST LAST: when no display is set,
# starts an Xvfb server on the first free display number in FIRST..LAST (ranges keep parallel
# callers apart), exports DISPLAY and leaves the server's pid in xvfb_pid for the caller to
# stop; with a display already set it does nothing. Fails when no server could be started.
kesk_start_xvfb() {
  xvfb_pid=""
  [ -z "${DISPLAY:-}" ] || return 0
  local n
  for n in $(seq "$1" "$2"); do
    { [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; } && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
      export DISPLAY=":$n"
      return 0
    fi
    xvfb_pid=""
  done
  return 1
}
