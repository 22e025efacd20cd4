#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The measurement window in a real X server, driven by the keyboard alone
# on the virtual devices and read over AT-SPI as a screen reader reads it
# (run under xvfb-run and dbus-run-session): every control named; check the
# input; Esc ending a check; the loopback on the virtual pair; the format
# matrix on the test plugin's "narrow" device (S16_LE and S24_3LE, two
# channels, 44.1, 48 and 96 kHz); a three-second soak on the virtual pair,
# whose input clock runs 100 ppm fast; Ctrl+Q ending the program.
# Usage: keyboard-atspi.sh PROGRAM ATSPI-TREE TEST-PLUGIN
set -euo pipefail
program=$(realpath "$1")
tree=$(realpath "$2")
plugin=$(realpath "$3")
here=$(dirname "$(realpath "$0")")
source "$here/../ui/qt/x11-driver.sh"

work=$(mktemp -d)
pid=
cleanup() {
  [[ -n $pid ]] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$work/run HOME=$work XDG_CONFIG_HOME=$work/config
mkdir -m 700 "$XDG_RUNTIME_DIR"
# A hermetic ALSA configuration with the test plugin's narrow device alone,
# listed first, then the virtual devices.
cat >"$work/alsa.conf" <<CONF
pcm_type.tallowtest { lib "$plugin" }
pcm.narrow {
  type tallowtest
  lock "$work/narrow.lock"
  rates [ 44100 48000 96000 ]
  formats [ "S16_LE" "S24_3LE" ]
  channels [ 2 ]
  hint { show on description "Narrow test device" }
}
CONF
export ALSA_CONFIG_PATH=$work/alsa.conf
export TALLOWMERE_AUDIO=auto QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export TALLOWMERE_VIRTUAL_LOOPBACK=drift=100
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE

"$program" 2>"$work/program.err" &
pid=$!
main=$(wait_window "Tallowmere Measurements" 60)

# read_tree: the accessibility tree into tree.txt.
read_tree() { "$tree" >"$work/tree.txt" 2>"$work/tree.err"; }
# shows ROLE NAME: a line of the tree with that role and name.
shows() { read_tree && awk -F'\t' -v role="$1" -v name="$2" '$1 == role && index($2, name) == 1 { found = 1 } END { exit !found }' "$work/tree.txt"; }
wait_shows() { wait_until "${3:-60}" "$1 \"$2\" on the accessibility bus" shows "$1" "$2"; }

wait_shows "push button" "Check the input"
unnamed=$(awk -F'\t' '($1 == "text" || $1 == "combo box" || $1 == "spin box" || $1 == "push button" ||
                       $1 == "progress bar" || $1 == "page tab" || $1 == "table" || $1 == "tree") && $2 == ""' \
  "$work/tree.txt")
[[ -z $unnamed ]] || fail "unnamed controls: $unnamed"
for name in "Channels" "Sampling rate in Hz" "Valid precision in bits" "Recording length in seconds" \
            "Check the input" "Verdicts of the analysis" "Analysis text" "Largest latency (ms)" "Run the loopback" \
            "Run the matrix" "Start the soak" "Soak duration" "Soak checks" "Soak events and summary"; do
  grep -q $'\t'"$name"$'\t' "$work/tree.txt" || fail "no control named \"$name\""
done
# Qt names a combo box on this platform by its value and ties the label to
# it by the relation, as in the test dialog.
for label in "Input device:" "Output device:" "Sampling rate (Hz):" "Sampling precision (bits):" "API mode:" "Level:" \
             "Mode:"; do
  awk -F'\t' -v label="$label" '$1 == "combo box" && index($4, label) == 1 { found = 1 } END { exit !found }' \
    "$work/tree.txt" || fail "no combo box labelled by \"$label\""
done
echo "every control is named"

# Check the input for one second, on the virtual input after the narrow device.
keys "$main" alt+i Down alt+l ctrl+a
type_text "$main" 1
keys "$main" alt+c
wait_shows label "Recorded and analysed"
grep -q $'\tA signal in every channel' "$work/tree.txt" || grep -q 'A signal in every channel' "$work/tree.txt" ||
  fail "no verdict on the recording"
echo "the input was checked"

# Esc ends a long check.
keys "$main" alt+l ctrl+a
type_text "$main" 30
keys "$main" alt+c
wait_shows label "Recording from"
keys "$main" Escape
wait_shows label "the check was cancelled" 20
echo "Esc cancelled the check"

# The loopback on the virtual pair: each list's last device.
keys "$main" alt+b alt+i End alt+o End alt+l
wait_shows label "Measured" 90
echo "the loopback was measured"

# The format matrix on the narrow device, both ways.
keys "$main" alt+t alt+i Home alt+o Home alt+m
wait_shows label "Done in" 90
grep -q $'^page tab\tInput: Narrow test device' "$work/tree.txt" || { grep 'page tab' "$work/tree.txt" >&2; fail "no grid for the narrow device's input"; }
for mark in + . -; do
  grep -q $'^cell\t'"$mark"$'\t' "$work/tree.txt" || fail "no cell marked \"$mark\" in the grid"
done
echo "the format matrix ran on the test plugin"

# Three seconds of soak on the virtual pair: the duration, then its unit
# (the field after it), then Start.
keys "$main" alt+s alt+i End alt+o End alt+d ctrl+a
type_text "$main" 3
keys "$main" Tab Home alt+e
wait_shows label "Completed after 0:03" 30
grep -q 'Ran for the whole 0:03' "$work/tree.txt" || fail "no verdict on the soak's run"
grep -q '+100.0[0-9]* ppm' "$work/tree.txt" || { grep -i drift "$work/tree.txt" >&2; fail "the soak did not show the input's drift"; }
echo "the soak ran"

keys "$main" ctrl+q
exited() { ! kill -0 "$pid" 2>/dev/null; }
wait_until 20 "the program to exit" exited
wait "$pid" || fail "the program exited with $?"
pid=
echo "PASS"
