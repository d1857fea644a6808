# shellcheck shell=bash
# Sourced by the scripts and tests that need a virtual X display of their own:
#   xdisplay_start WIDTHxHEIGHT  starts Xvfb on a free display and exports DISPLAY
#   xdisplay_wm                  starts openbox and waits until it manages windows
#   track PID                    stops PID on exit (the latest started first)
#   at_exit COMMAND [ARG...]     runs the command on exit, once the processes have stopped
#   window NAME [SECONDS]        the first visible window whose name matches, waiting for it (30 s
#                                unless told: a loaded machine starts a program slowly)
#   origin WINDOW                the client area's top-left corner on the screen, as "x y"
#   wait_gone PID SECONDS        true once the process has ended
#   dogs_clear_of X Y [SECONDS]  waits until no dog window lies on or near the screen point X,Y
#                                (a click meant for the window below), 30 s unless told
# Processes are stopped by their PID only, never by name: other displays on the machine are
# none of our business.

xd_pids=()
xd_at_exit=()
xd_xvfb=
xd_wm=

track() { xd_pids+=("$1"); }
at_exit() { xd_at_exit+=("$(printf '%q ' "$@")"); }

wait_gone() {
  local _
  for _ in $(seq $(($2 * 5))); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.2
  done
  return 1
}

xdisplay_exit() {
  local code=$? i p
  set +e
  # The program first, the window manager and the X server last: a program that loses its
  # display on the way out may not end cleanly (the demo runner stops its mail servers on TERM).
  for ((i = ${#xd_pids[@]} - 1; i >= 0; i--)); do
    p=${xd_pids[i]}
    kill "$p" 2>/dev/null || continue
    wait_gone "$p" 30 || kill -KILL "$p" 2>/dev/null
    wait "$p" 2>/dev/null
  done
  for i in "${xd_at_exit[@]}"; do eval "$i"; done
  exit "$code"
}
trap xdisplay_exit EXIT

xdisplay_start() {
  local size=${1:?WIDTHxHEIGHT} numfile n=
  numfile=$(mktemp)
  # Xvfb picks the free display itself and names it once it accepts connections: no race with
  # another display starting at the same moment. Without -noreset the server starts over each
  # time its last client leaves, and refuses whoever connects meanwhile (a window manager
  # starting while a probe has just left).
  Xvfb -displayfd 9 -screen 0 "${size}x24" -nolisten tcp -noreset 9>"$numfile" >/dev/null 2>&1 &
  xd_xvfb=$!
  track "$xd_xvfb"
  for _ in $(seq 100); do
    read -r n <"$numfile" || n=
    [ -n "$n" ] && break
    kill -0 "$xd_xvfb" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$numfile"
  [ -n "$n" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=:$n
}

xdisplay_wm() {
  local _
  openbox >/dev/null 2>&1 &
  xd_wm=$!
  track "$xd_wm"
  # A window mapped while the window manager is still taking over the screen may stay unmapped.
  # A busy machine may take a while.
  for _ in $(seq 300); do
    [[ "$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null)" == *"window id"* ]] && return 0
    kill -0 "$xd_wm" 2>/dev/null || break
    sleep 0.1
  done
  echo "openbox did not take over the display" >&2
}

window() {
  local id _
  for _ in $(seq $((${2:-30} * 5))); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}

origin() { xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}'; }

dogs_clear_of() {
  local _ id geometry X Y WIDTH HEIGHT covered
  for _ in $(seq $((${3:-30} * 5))); do
    covered=0
    for id in $(xdotool search --onlyvisible --name '^(気分・・・|Form)' 2>/dev/null); do
      geometry=$(xdotool getwindowgeometry --shell "$id" 2>/dev/null) || continue
      eval "$geometry"
      # A walking dog moves up to 25 pixels a tick: keep a margin.
      if [ "$1" -ge $((X - 30)) ] && [ "$1" -le $((X + WIDTH + 30)) ] &&
        [ "$2" -ge $((Y - 30)) ] && [ "$2" -le $((Y + HEIGHT + 30)) ]; then covered=1; fi
    done
    [ $covered = 0 ] && return 0
    sleep 0.2
  done
  return 1
}
