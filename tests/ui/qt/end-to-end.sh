#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The desktop program in a real X server (run under xvfb-run): start values
# and tab order, a whole test on the virtual devices, the report through the
# clipboard byte for byte, the recording saved through the save-file dialog,
# Enter after the results running the test again, and a test cancelled with
# Esc while it records.
set -euo pipefail
program=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
source "$here/x11-driver.sh"

for tool in xdotool xclip import soxi; do
  command -v $tool >/dev/null || fail "$tool is missing"
done

work=$(mktemp -d)
pid=
cleanup() {
  [[ -n $pid ]] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

export TALLOWMERE_AUDIO=virtual
export QT_QPA_PLATFORM=xcb
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE

start_program "$program"

main=$(wait_window "Brellick - Tallowmere" 60)
[[ "$(xdotool getwindowname "$main")" == "Brellick - Tallowmere" ]] || fail "main dialog title"
echo "main dialog shown"

# Start values, read the way a user would: each tab stop selects its text
# on focus, Ctrl+C copies it. This also walks the tab order.
expected_fields=("1" "44100" "16" "16" "Tallowmere Virtual Input" "Tallowmere Virtual Output"
                 "Standard API wave format" "4")
for i in "${!expected_fields[@]}"; do
  ((i == 0)) || keys "$main" Tab
  keys "$main" ctrl+c
  wait_until 10 "field $((i + 1)) = ${expected_fields[$i]}" clipboard_is "${expected_fields[$i]}"
done
echo "start values and tab order as expected"

# A whole test: Tab from the duration reaches "&Run Test...", Enter presses it.
keys "$main" Tab Return
results=$(wait_window "Test Results" 60)
echo "results shown"

# The report this machine gives for the default parameters.
os_line="Operating System:\t "
if [[ -r /etc/os-release ]]; then
  distribution=$(. /etc/os-release && echo "${PRETTY_NAME:-${NAME:-}}")
else
  distribution=$(. /usr/lib/os-release 2>/dev/null && echo "${PRETTY_NAME:-${NAME:-}}" || true)
fi
[[ -n $distribution ]] && os_line+="$distribution, "
os_line+="$(uname -s) $(uname -r)"
printf "%b\r\n\r\n" "$os_line" >expected.txt
printf 'Channels:\t1\r\nnSampling Rate:\t44100\r\nBits Per Sample:\t16\r\nValid Bits:\t16\r\nAPI Mode:\tStandard\r\n' >>expected.txt
printf '\r\nInput Device:\tTallowmere Virtual Input\r\n   Open\tCalled sucessfully\r\n   Record\tCalled sucessfully\r\n' >>expected.txt
printf '\r\nOutput Device:\tTallowmere Virtual Output\r\n   Open\tCalled sucessfully\r\n   Playback\tCalled sucessfully\r\n' >>expected.txt

clipboard_has_report() { clipboard | grep -q "^Operating System"; }
keys "$results" alt+c
wait_until 10 "the report on the clipboard" clipboard_has_report
xclip -o -selection clipboard >copied.txt
if ! cmp copied.txt expected.txt; then
  diff <(od -c copied.txt) <(od -c expected.txt) | head -20 >&2 || true
  fail "clipboard differs from the expected report"
fi
echo "clipboard holds the report byte for byte"

# Save the recording to a typed path; the dialog adds the .wav suffix.
keys "$results" alt+s
save=$(wait_window "Save As")
type_text "$save" "$work/take one"
keys "$save" Return
saved="$work/take one.wav"
saved_in_full() { [[ -f "$saved" ]] && [[ "$(soxi -s "$saved" 2>/dev/null)" == 176400 ]]; }
wait_until 20 "the saved recording" saved_in_full
[[ "$(soxi -c "$saved")" == 1 ]] || fail "channels: $(soxi -c "$saved")"
[[ "$(soxi -r "$saved")" == 44100 ]] || fail "rate: $(soxi -r "$saved")"
[[ "$(soxi -b "$saved")" == 16 ]] || fail "bits: $(soxi -b "$saved")"
wait_until 10 "the save dialog to close" window_gone "Save As"
echo "recording saved: $(soxi -c "$saved") channel, $(soxi -r "$saved") Hz, $(soxi -b "$saved") bits, $(soxi -s "$saved") frames"

# Saving again under the same name asks before replacing the file.
keys "$results" alt+s
save=$(wait_window "Save As")
type_text "$save" "$work/take one"
keys "$save" Return
two_save_windows() { [[ $(xdotool search --onlyvisible --name '^Save As$' 2>/dev/null | wc -l) -ge 2 ]]; }
wait_until 10 "the overwrite question" two_save_windows
question=$(xdotool search --onlyvisible --name '^Save As$' | tail -n 1)
before=$(stat -c %.9Y "$saved")
keys "$question" alt+y
rewritten() { [[ "$(stat -c %.9Y "$saved")" != "$before" ]] && saved_in_full; }
wait_until 20 "the recording to be written again" rewritten
wait_until 10 "the save dialog to close" window_gone "Save As"
echo "overwrite confirmed and file rewritten"

keys "$results" Escape
wait_until 10 "the results dialog to close" window_gone "Test Results"

# The focus is back on "&Run Test...": Enter runs the test again rather
# than ending the program.
keys "$main" Return
results=$(wait_window "Test Results" 60)
kill -0 "$pid" 2>/dev/null || fail "Enter after the results ended the program"
keys "$results" Escape
wait_until 10 "the results dialog to close" window_gone "Test Results"
echo "Enter after the results runs the test again"

# Another test, cancelled with Esc once the progress bar shows recording.
# It records for 100 s, so that Esc lands in the recording however slowly
# the machine runs.
click "$main" 146 154 60 12
keys "$main" ctrl+a
type_text "$main" "100"
keys "$main" ctrl+a ctrl+c
wait_until 10 "the duration field to read 100" clipboard_is "100"
bar=$(progress_bar_crop "$main")
idle=$(window_area_sum "$main" "$bar")
keys "$main" alt+r
wait_until 30 "the progress bar to move" progress_moved "$main" "$bar" "$idle"
keys "$main" Escape
results=$(wait_window "Test Results" 30)
clipboard_has_cancel() { clipboard | grep -q "Recording cancelled"; }
keys "$results" alt+c
wait_until 10 "the cancelled report on the clipboard" clipboard_has_cancel
xclip -o -selection clipboard >cancelled.txt
grep -q $'^   Record\tRecording cancelled\r$' cancelled.txt || fail "no cancelled record line"
if grep -q "Output Device" cancelled.txt; then fail "playback ran after a cancelled recording"; fi
echo "Esc during recording: the report says Recording cancelled, no playback"

# Close the results, then the program with "&Close".
keys "$results" Escape
wait_until 10 "the results dialog to close" window_gone "Test Results"
keys "$main" alt+c
exited() { ! kill -0 "$pid" 2>/dev/null; }
wait_until 20 "the program to exit" exited
status=0
wait "$pid" || status=$?
pid=
((status == 0)) || fail "the program exited with $status"
echo "PASS"
