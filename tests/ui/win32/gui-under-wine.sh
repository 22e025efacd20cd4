#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# gui-under-wine.sh TALLOWMERE.EXE [WINEPREFIX [SCREENSHOT_DIR]]
#
# The Windows program under Wine in a private X server, driven like a user
# would: the main dialog's title and start values (each tab stop copied with
# Ctrl+C), Alt+R runs a test on the virtual devices, "Test Results" opens,
# Alt+C puts the report on the clipboard (read back through X with xclip,
# and on the Windows side with TALLOWMERE_CLIPBOARD_DUMP when it names the
# test helper tallowmere_clipboard_dump.exe), Esc closes the results; a
# second test of 100 s is cancelled with Esc while it records; Esc closes
# the main dialog and the program ends with status 0. With a
# screenshot folder, both dialogs are photographed there as
# win32-main-dialog.png and win32-results-dialog.png.
#
# WINEPREFIX defaults to the environment's, else a temporary one.
set -euo pipefail

if [[ -z ${TALLOWMERE_GUI_IN_XVFB:-} ]]; then
  export TALLOWMERE_GUI_IN_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

# The X helpers the desktop program's end-to-end test uses.
source "$(dirname "$(realpath "$0")")/../qt/x11-driver.sh"

program=$(realpath "${1:?usage: gui-under-wine.sh TALLOWMERE.EXE [WINEPREFIX [SCREENSHOT_DIR]]}")
prefix=${2:-${WINEPREFIX:-}}
shots=${3:-}
[[ -z $shots ]] || shots=$(realpath -m "$shots")
dump=${TALLOWMERE_CLIPBOARD_DUMP:-}
[[ -z $dump ]] || dump=$(realpath "$dump")
for tool in wine xdotool xclip import; do
  command -v $tool >/dev/null || fail "$tool is missing"
done

work=$(mktemp -d)
pid=
cleanup() {
  [[ -n $pid ]] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
[[ -n $prefix ]] || prefix=$work/prefix
export WINEPREFIX=$(realpath -m "$prefix")
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
export TALLOWMERE_AUDIO=virtual

# Wine draws the windows' frames and captions itself: there is no window
# manager in this X server, and the screenshots should show the title bar.
timeout 300 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 ||
  fail "could not prepare the Wine prefix $WINEPREFIX"

clipboard_has_report() { clipboard | grep -q "^Operating System"; }
# A screenshot once two pictures a second apart agree: the controls paint
# one after another.
shoot() {
  [[ -n $shots ]] || return 0
  mkdir -p "$shots"
  import -window "$1" shot-a.png
  for _ in $(seq 20); do
    sleep 1
    import -window "$1" shot-b.png
    [[ "$(compare -metric AE shot-a.png shot-b.png null: 2>&1)" == 0 ]] && break
    mv shot-b.png shot-a.png
  done
  cp shot-b.png "$shots/$2"
  echo "screenshot $shots/$2"
}

cd "$work"
wine "$program" &
pid=$!

main=$(wait_window "Brellick - Tallowmere" 120)
echo "main dialog shown: $(xdotool getwindowname "$main")"
shoot "$main" win32-main-dialog.png

# Start values, read as a user would: the focus starts in the channels edit
# and each Tab selects the next field's text, which Ctrl+C copies. This also
# walks the tab order.
expected_fields=("1" "44100" "16" "16" "Tallowmere Virtual Input" "Tallowmere Virtual Output"
                 "Standard API wave format" "4")
for i in "${!expected_fields[@]}"; do
  ((i == 0)) || keys "$main" Tab
  keys "$main" ctrl+c
  wait_until 10 "field $((i + 1)) = ${expected_fields[$i]}" clipboard_is "${expected_fields[$i]}"
done
echo "start values and tab order as expected"

# A whole test: Alt+R presses "&Run Test...".
keys "$main" alt+r
results=$(wait_window "Test Results" 120)
echo "results shown"
shoot "$results" win32-results-dialog.png

# The report for the default parameters on the virtual devices; the test
# prefix's Wine reports 6.1.7601, which the report names Windows 7.
{
  printf 'Operating System:\t Windows 7\r\n\r\n'
  printf 'Channels:\t1\r\nnSampling Rate:\t44100\r\nBits Per Sample:\t16\r\nValid Bits:\t16\r\nAPI Mode:\tStandard\r\n'
  printf '\r\nInput Device:\tTallowmere Virtual Input\r\n   Open\tCalled sucessfully\r\n   Record\tCalled sucessfully\r\n'
  printf '\r\nOutput Device:\tTallowmere Virtual Output\r\n   Open\tCalled sucessfully\r\n   Playback\tCalled sucessfully\r\n'
} >expected.txt
# Alt+C presses "&Copy Results to Clipboard"; pressed again should the first
# press land before Wine gave the new dialog the focus.
for attempt in 1 2 3; do
  keys "$results" alt+c
  deadline=$((SECONDS + 10))
  until clipboard_has_report || ((SECONDS >= deadline)); do sleep 0.2; done
  clipboard_has_report && break
done
clipboard_has_report || fail "no report on the clipboard after three presses of Alt+C"
same_bytes() {
  cmp -s "$1" "$2" && return 0
  diff <(od -c "$1") <(od -c "$2") | head -20 >&2 || true
  return 1
}
# Wine's bridge to the X selection hands text over with LF line ends.
xclip -o -selection clipboard >copied-x.txt
sed 's/\r$//' expected.txt >expected-x.txt
same_bytes copied-x.txt expected-x.txt || fail "the X clipboard differs from the expected report"
echo "X clipboard holds the report ($(wc -c <copied-x.txt) bytes, LF line ends from Wine's X bridge)"
# On the Windows side the CF_TEXT block holds the report's own bytes, CR LF included.
if [[ -n $dump ]]; then
  wine "$dump" >copied.txt || fail "could not read the clipboard on the Windows side"
  same_bytes copied.txt expected.txt || fail "the Windows clipboard differs from the expected report"
  echo "Windows clipboard holds the report byte for byte ($(wc -c <copied.txt) bytes, CR LF line ends)"
fi

keys "$results" Escape
wait_until 20 "the results dialog to close" window_gone "Test Results"
echo "Esc closed the results dialog"
# A second test, cancelled with Esc while it records. The focus is back in
# the duration edit, where Alt+R left it, so Esc reaches a control of the
# dialog, which the test loop's keyboard peek takes as the dialog's own.
keys "$main" End BackSpace BackSpace BackSpace BackSpace BackSpace 1 0 0
keys "$main" alt+r
sleep 3
keys "$main" Escape
sleep 1
results=$(wait_window "Test Results" 60)
clipboard_has_cancel() { clipboard | grep -q "Recording cancelled"; }
for attempt in 1 2 3; do
  keys "$results" alt+c
  deadline=$((SECONDS + 10))
  until clipboard_has_cancel || ((SECONDS >= deadline)); do sleep 0.2; done
  clipboard_has_cancel && break
done
xclip -o -selection clipboard >cancelled.txt
grep -q $'^   Record\tRecording cancelled$' cancelled.txt || fail "no cancelled record line in the report"
if grep -q "Output Device" cancelled.txt; then fail "playback ran after a cancelled recording"; fi
echo "Esc during recording: the report says Recording cancelled, no playback"
keys "$results" Escape
wait_until 20 "the results dialog to close" window_gone "Test Results"

keys "$main" Escape
exited() { ! kill -0 "$pid" 2>/dev/null; }
wait_until 30 "the program to exit" exited
status=0
wait "$pid" || status=$?
pid=
((status == 0)) || fail "the program exited with $status"
echo "Esc closed the main dialog; the program ended with status 0"
echo "PASS"
