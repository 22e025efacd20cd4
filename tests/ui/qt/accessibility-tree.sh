#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What a screen reader reads of the desktop program, over AT-SPI on a
# private session bus (run under xvfb-run and dbus-run-session): every
# field named by its label and labelled by it, the buttons, the progress
# bar named by its group and described by the status line, the report box
# named by the results dialog.
set -euo pipefail
program=$(realpath "$1")
tree=$(realpath "$2")
here=$(dirname "$(realpath "$0")")
source "$here/x11-driver.sh"

work=$(mktemp -d)
pid=
cleanup() {
  [[ -n $pid ]] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# The accessibility bus keeps its socket here, not in the user's home.
export XDG_RUNTIME_DIR=$work/run HOME=$work
mkdir -m 700 "$XDG_RUNTIME_DIR"
export TALLOWMERE_AUDIO=virtual QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE

start_program "$program"
main=$(wait_window "Brellick - Tallowmere" 60)

tree_lists_fields() {
  "$tree" >"$work/tree.txt" 2>"$work/tree.err" && grep -q $'\tSampling Rate (Hz)\t' "$work/tree.txt"
}
wait_until 60 "the dialog on the accessibility bus" tree_lists_fields
sed 's/^/  /' "$work/tree.txt"

# has ROLE NAME DESCRIPTION LABELLED-BY: a line of the tree exactly so.
has() {
  grep -qxF "$1"$'\t'"$2"$'\t'"$3"$'\t'"$4" "$work/tree.txt" || fail "no $1 named \"$2\" (description \"$3\", labelled by \"$4\")"
}
for field in "Number of Channels" "Sampling Rate (Hz)" "Sampling Precision (bits)" "Valid Precision (bits)" \
             "Test Recording Duration (seconds)"; do
  has text "$field" "" "$field"
done
# Qt names a combo box on this platform by its value and ties the label to
# it by the relation; the field inside it carries the label's name.
labelled_box() {
  awk -F'\t' -v label="$1" '$1 == "combo box" && $4 == label { found = 1 } END { exit !found }' "$work/tree.txt" ||
    fail "no combo box labelled by \"$1\""
}
for box in "Input Device" "Output Device" "API Mode"; do
  labelled_box "$box"
  has text "$box" "" ""
done
has "push button" "Run Test..." "" ""
has "push button" "Close" "" ""
has "progress bar" "Test Control" "Ready" ""
unnamed=$(awk -F'\t' '($1 == "text" || $1 == "combo box" || $1 == "progress bar" || $1 == "push button") && $2 == ""' "$work/tree.txt")
[[ -z $unnamed ]] || fail "unnamed controls: $unnamed"
echo "every field, box, button and the progress bar is named"

# The results: the report box is named by its dialog.
keys "$main" alt+r
results=$(wait_window "Test Results" 60)
tree_lists_report() {
  "$tree" >"$work/tree.txt" 2>"$work/tree.err" && grep -q $'^text\tTest Results\t' "$work/tree.txt"
}
wait_until 30 "the report box named on the accessibility bus" tree_lists_report
has "push button" "Save Recording to Wave file..." "" ""
has "push button" "Copy Results to Clipboard" "" ""
echo "the report box is named \"Test Results\""
keys "$results" Escape
wait_until 10 "the results dialog to close" window_gone "Test Results"

keys "$main" alt+c
exited() { ! kill -0 "$pid" 2>/dev/null; }
wait_until 20 "the program to exit" exited
pid=
echo "PASS"
