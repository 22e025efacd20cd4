# SPDX-License-Identifier: GPL-3.0-or-later
# Helpers that drive the desktop program in an X server the way a user
# would, for the end-to-end test and the screenshot script. Every wait polls
# a window, the clipboard, a file or the screen against a deadline.

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# wait_until SECONDS WHAT COMMAND...: polls COMMAND until it succeeds.
wait_until() {
  local seconds=$1 what=$2
  shift 2
  local end=$((SECONDS + seconds))
  until "$@"; do
    ((SECONDS < end)) || fail "timed out after ${seconds}s waiting for $what"
    sleep 0.05
  done
}

# The id of the visible window with exactly this title (empty when none).
window_named() {
  xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1
}

window_shown() { [[ -n $(window_named "$1") ]]; }
window_gone() { [[ -z $(window_named "$1") ]]; }

# wait_window TITLE: waits for it and prints its id.
wait_window() {
  wait_until "${2:-30}" "window \"$1\"" window_shown "$1"
  window_named "$1"
}

# keys WINDOW KEY...: gives the window the keyboard focus, then presses the keys.
keys() {
  local window=$1
  shift
  xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
  xdotool key --clearmodifiers "$@"
}

type_text() {
  local window=$1
  shift
  xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
  xdotool type --delay 2 "$*"
}

clipboard() { xclip -o -selection clipboard 2>/dev/null || true; }
clipboard_is() { [[ "$(clipboard)" == "$1" ]]; }

# The main dialog's progress bar in window pixels, from the window size:
# the template's dialog units scaled as the program scales them.
progress_bar_crop() {
  local window=$1 width height
  eval "$(xdotool getwindowgeometry --shell "$window" | grep -E '^(WIDTH|HEIGHT)=')"
  width=$WIDTH
  height=$HEIGHT
  local baseX=$(((width * 4 + 136) / 272)) baseY=$(((height * 8 + 131) / 262))
  local x=$(((19 * baseX + 2) / 4)) y=$(((211 * baseY + 4) / 8))
  local w=$(((237 * baseX + 2) / 4)) h=$(((13 * baseY + 4) / 8))
  echo "${w}x${h}+${x}+${y}"
}

# control_centre WINDOW X Y WIDTH HEIGHT: the centre of a control of the
# main dialog, given in dialog units, as "x y" in window pixels.
control_centre() {
  local window=$1 width height
  eval "$(xdotool getwindowgeometry --shell "$window" | grep -E '^(WIDTH|HEIGHT)=')"
  width=$WIDTH
  height=$HEIGHT
  local baseX=$(((width * 4 + 136) / 272)) baseY=$(((height * 8 + 131) / 262))
  echo "$((((2 * $2 + $4) * baseX + 4) / 8)) $((((2 * $3 + $5) * baseY + 8) / 16))"
}

# click WINDOW X Y WIDTH HEIGHT: a click in the middle of that control.
click() {
  local window=$1
  shift
  read -r cx cy < <(control_centre "$window" "$@")
  xdotool mousemove --window "$window" --sync "$cx" "$cy" click 1
}

window_area_sum() {
  import -window "$1" -crop "$2" +repage rgb:- 2>/dev/null | md5sum | cut -d' ' -f1
}

# wait_progress WINDOW IDLE_SUM: waits until the progress bar looks other than idle.
progress_moved() { [[ "$(window_area_sum "$1" "$2")" != "$3" ]]; }

# start_program PROGRAM: starts it in the background and sets `pid`; waits
# for the main dialog. A busy shared machine's X server refuses a
# connection now and then: the program is then started again (three tries).
start_program() {
  local log attempt
  log=$(mktemp)
  for attempt in 1 2 3; do
    "$1" 2> >(tee "$log" >&2) &
    pid=$!
    local end=$((SECONDS + 60))
    until window_shown "Brellick - Tallowmere"; do
      if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid" 2>/dev/null || true
        grep -q "could not connect to display" "$log" || { rm -f "$log"; fail "the program ended before its dialog showed"; }
        echo "no connection to the X server, starting the program again" >&2
        continue 2
      fi
      ((SECONDS < end)) || { rm -f "$log"; fail "timed out after 60s waiting for the main dialog"; }
      sleep 0.05
    done
    rm -f "$log"
    return 0
  done
  rm -f "$log"
  fail "the program could not reach the X server"
}
