# Sourced by every script that runs Wine. kesk_start_xvfb FIRST LAST [SCREENS]: when no display
# is set, starts an Xvfb server on the first free display number in FIRST..LAST (ranges keep
# parallel callers apart), exports DISPLAY and leaves the server's pid in xvfb_pid for the caller
# to stop; with a display already set it does nothing. Fails when no server could be started.
#
# SCREENS (e.g. 1024x768,1280x1024) asks for one X screen each, joined by Xinerama with RandR
# left out: that is how Wine's X11 driver (without a virtual desktop) sees several monitors. A
# display already set has its own screens, so with SCREENS a server is always started. This
# Xvfb puts every screen at the origin: Wine reports the monitors on top of each other, the
# first one primary, and only where a later screen is larger is a point on it alone.
kesk_start_xvfb() {
  xvfb_pid=""
  local screens=() list=() spec i=0
  if [ -n "${3:-}" ]; then
    IFS=, read -ra list <<<"$3"
    for spec in "${list[@]}"; do
      [[ "$spec" =~ ^[1-9][0-9]*x[1-9][0-9]*$ ]] ||
        { echo "xvfb: a screen is WIDTHxHEIGHT, not $spec" >&2; return 1; }
      screens+=(-screen "$i" "${spec}x24")
      i=$((i + 1))
    done
    screens=(+xinerama -extension RANDR "${screens[@]}")
  else
    [ -z "${DISPLAY:-}" ] || return 0
    screens=(-screen 0 1024x768x24)
  fi
  local n
  for n in $(seq "$1" "$2"); do
    { [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; } && continue
    Xvfb ":$n" "${screens[@]}" -nolisten tcp >/dev/null 2>&1 &
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
