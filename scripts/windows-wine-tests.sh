#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows command-line program under Wine, as a user would run it:
#  1. on the virtual devices: --list, and a default run whose saved file is
#     read back on the Linux side with soxi;
#  2. on the virtual devices with a pseudo-terminal as the console: the status
#     line, Esc, Ctrl-C and the tone question (windows-console-test.py);
#  3. on WinMM through Wine's ALSA driver, over a private ALSA configuration
#     whose playback device writes a file and whose capture device fails:
#     the recording fails, the tone is played (--tone yes), and the file
#     holds exactly the tone's sample bytes (the saved recording's data);
#  4. on WASAPI in exclusive mode through Wine's ALSA driver into the Linux
#     build's test plugin: Wine opens the ALSA device itself, so the
#     plugin's narrow formats are the driver's answer (--list shows only
#     what it takes, a rate it lacks is refused with the HRESULT named),
#     and a loopback through its loop device measures the plugin's delay.
# Usage: windows-wine-tests.sh BUILD_DIR PREFIX LINUX_BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
usage="usage: windows-wine-tests.sh BUILD_DIR PREFIX LINUX_BUILD_DIR"
build=$(realpath "${1:?$usage}")
export WINEPREFIX=$(realpath -m "${2:?$usage}")
plugin=$(realpath "${3:?$usage}")/tests/audio/libasound_module_pcm_tallowtest.so
[[ -f "$plugin" ]] || { echo "windows-wine-tests: $plugin was not built (make build)" >&2; exit 1; }
export WINEDEBUG=-all
cli=$build/src/cli/tallowmere-cli.exe
[[ -f "$cli" ]] || { echo "windows-wine-tests: $cli was not built" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "windows-wine-tests: FAILED: $*" >&2
  failures=$((failures + 1))
}
# Wine gives Linux paths to Windows programs as the Z: drive.
windows_path() {
  printf 'Z:%s' "${1//\//\\}"
}
run() {
  timeout 300 wine "$cli" "$@"
}

# The virtual devices alone.
export ALSA_CONFIG_PATH=$PWD/scripts/windows-null-alsa.conf
list=$(TALLOWMERE_AUDIO=virtual run --list) || fail "--list exited with $?"
grep -q "Tallowmere Virtual Input" <<<"$list" || fail "--list does not name the virtual input: $list"
grep -q "Tallowmere Virtual Output" <<<"$list" || fail "--list does not name the virtual output: $list"

status=0
report=$(TALLOWMERE_AUDIO=virtual run --duration 1 --save "$(windows_path "$work/virtual.wav")" 2>"$work/virtual.err") ||
  status=$?
[[ $status -eq 0 ]] || fail "virtual run exited with $status: $(cat "$work/virtual.err")"
grep -q "^Operating System:	 Windows" <<<"$report" || fail "no Windows line in the report: $report"
[[ $(grep -c "Called sucessfully" <<<"$report") -eq 4 ]] || fail "virtual run did not succeed throughout: $report"
if [[ -f "$work/virtual.wav" ]]; then
  [[ $(soxi -c "$work/virtual.wav") == 1 && $(soxi -r "$work/virtual.wav") == 44100 &&
     $(soxi -b "$work/virtual.wav") == 16 && $(soxi -s "$work/virtual.wav") == 44100 ]] ||
    fail "saved file is not 1 s of 16-bit mono at 44100 Hz: $(soxi "$work/virtual.wav")"
else
  fail "virtual run saved no file"
fi

python3 scripts/windows-console-test.py "$cli" || fail "the console sessions (scripts/windows-console-test.py)"

# WinMM: Wine's driver sees only the devices of this file.
cat >"$work/asound.conf" <<CONF
pcm.!default {
    type asym
    playback.pcm {
        type file
        slave.pcm { type null }
        file "$work/played.raw"
        format "raw"
    }
    # A card that is not there: every capture open fails.
    capture.pcm { type hw card 31 }
}
ctl.!default {
    type hw
    card 0
}
CONF
export ALSA_CONFIG_PATH=$work/asound.conf
list=$(TALLOWMERE_AUDIO=winmm run --list) || fail "WinMM --list exited with $?"
grep -q "Out: default" <<<"$list" || fail "WinMM --list does not name Wine's output device: $list"

status=0
report=$(TALLOWMERE_AUDIO=winmm run --duration 1 --tone yes --save "$(windows_path "$work/tone.wav")" \
  2>"$work/tone.err") || status=$?
# The recording failed, so the run counts as failed even with the tone played.
[[ $status -eq 1 ]] || fail "WinMM tone run exited with $status, not 1: $(cat "$work/tone.err")"
grep -q "   Playback	Called sucessfully" <<<"$report" || fail "the tone was not played: $report"
# On Vista and later (Wine says 10) a WinMM device's answers are the audio engine's.
engine="its answers are the Windows audio engine's, which converts formats, not the card's"
grep -q "^tallowmere: playback 'WinMM: Out: default': $engine" "$work/tone.err" ||
  fail "WinMM run without the audio engine's note: $(cat "$work/tone.err")"
status=0
TALLOWMERE_AUDIO=winmm run --duration 1 --tone no --json >"$work/winmm.json" 2>/dev/null || status=$?
python3 - "$work/winmm.json" "$engine" <<'PY' || fail "WinMM JSON without the audio engine's note (exit status $status)"
import json, sys
output = json.load(open(sys.argv[1]))["output"]
print(f"WinMM output: {output['name']}: {output.get('answers')}")
sys.exit(0 if output["name"] == "WinMM: Out: default" and output.get("answers", "").startswith(sys.argv[2]) else 1)
PY
if [[ -f "$work/tone.wav" && -f "$work/played.raw" ]]; then
  sox "$work/tone.wav" -t raw "$work/tone.raw"
  python3 - "$work/tone.raw" "$work/played.raw" <<'PY' || fail "the played file does not hold the tone's samples"
import sys
tone = open(sys.argv[1], "rb").read()
played = open(sys.argv[2], "rb").read()
at = played.find(tone)
print(f"tone: {len(tone)} bytes; played file: {len(played)} bytes; tone found at byte {at}")
# A tone, not silence: its samples swing both ways.
samples = [int.from_bytes(tone[i:i + 2], "little", signed=True) for i in range(0, len(tone), 2)]
print(f"tone samples from {min(samples)} to {max(samples)}")
sys.exit(0 if samples and min(samples) < -1000 and max(samples) > 1000 and at >= 0 and at % 2 == 0 else 1)
PY
else
  fail "the tone run left no saved tone or no played file"
fi

# The format matrix and the loopback say it too (after the tone's check:
# they play into the same file), for the WinMM output and not for the virtual input beside it (nothing is heard back: the loopback
# fails, exit status 1, with the note said first).
for mode in formats loopback; do
  input=0
  [[ $mode == loopback ]] && input=1
  status=0
  TALLOWMERE_AUDIO=auto run --$mode --input $input --output "WinMM: Out: default" --json \
    >"$work/$mode-winmm.json" 2>"$work/$mode-winmm.err" || status=$?
  sed -i 's/\r$//' "$work/$mode-winmm.err"
  expected=0
  [[ $mode == loopback ]] && expected=1
  [[ $status -eq $expected ]] || fail "WinMM $mode exited with $status, not $expected: $(cat "$work/$mode-winmm.err")"
  [[ $(grep -c "^tallowmere: .*$engine" "$work/$mode-winmm.err") -eq 1 ]] &&
    grep -q "^tallowmere: playback 'WinMM: Out: default': $engine" "$work/$mode-winmm.err" ||
    fail "WinMM $mode: not one audio engine's note, for the output: $(cat "$work/$mode-winmm.err")"
  python3 - "$work/$mode-winmm.json" "$engine" "$mode" <<'PY' || fail "WinMM $mode JSON: the audio engine's note not where it belongs"
import json, sys
document, engine, mode = json.load(open(sys.argv[1])), sys.argv[2], sys.argv[3]
if mode == "formats":
    devices = {d["direction"]: d for d in document["matrices"][0]["devices"]}
else:
    devices = {"input": document["loopback"]["input"], "output": document["loopback"]["output"]}
print(f"WinMM {mode}: " + ", ".join(f"{d['name']}: {d.get('answers')}" for d in devices.values()))
sys.exit(0 if devices["output"].get("answers", "").startswith(engine) and "answers" not in devices["input"] else 1)
PY
done

# WASAPI: the test plugin takes 44100 and 48000 Hz, 16 and 24 bits in 3
# bytes, stereo only; Wine asks it in exclusive mode without its mixer.
cat >"$work/narrow.conf" <<CONF
pcm_type.tallowtest { lib "$plugin" }
pcm.!default {
    type tallowtest
    rates [ 44100 48000 ]
    formats [ "S16_LE" "S24_3LE" ]
    channels [ 2 ]
}
ctl.!default {
    type hw
    card 0
}
CONF
export ALSA_CONFIG_PATH=$work/narrow.conf TALLOWMERE_AUDIO=wasapi
list=$(run --list | tr -d '\r') || fail "WASAPI --list exited with $?"
# Of the standard formats only 44.1 kHz 16-bit stereo, and nothing else listed.
[[ $(grep -c "^  0: WASAPI: " <<<"$list") -eq 2 && $(grep -c "^       44100 Hz: 16-bit stereo$" <<<"$list") -eq 2 &&
   $(grep -c " Hz: " <<<"$list") -eq 2 ]] || fail "WASAPI --list is not the plugin's one standard format: $list"

status=0
run --channels 2 --rate 22050 --duration 1 --tone no --json >"$work/refused.json" 2>"$work/refused.err" || status=$?
[[ $status -eq 1 ]] || fail "WASAPI run at a rate the device lacks exited with $status, not 1"
python3 - "$work/refused.json" <<'PY' || fail "WASAPI refusal: $(cat "$work/refused.err")"
import json, sys
run = json.load(open(sys.argv[1], encoding="utf-8"))
host = run["input"]["host"]
print(f"22050 Hz refused: open code {run['input']['open']['code']}, {host['call']}: {host['text']}")
sys.exit(0 if run["input"]["open"]["code"] == 8 and host["call"] == "IAudioClient::IsFormatSupported"
         and host["text"] == "AUDCLNT_E_UNSUPPORTED_FORMAT (0x88890008)" else 1)
PY
grep -q "IAudioClient::IsFormatSupported: AUDCLNT_E_UNSUPPORTED_FORMAT (0x88890008)" "$work/refused.err" ||
  fail "WASAPI refusal not on standard error: $(cat "$work/refused.err")"

# The plugin's loop device: what is played comes back 480 frames later.
# Wine streams exclusive mode on its own timer: on a loaded machine a run
# now and then drops a period (dropouts, THD+N near -26 dB), so a run with
# dropouts is made once more; one without, or a second, counts.
sed -i 's/^    type tallowtest$/&\n    loopback "winecable"\n    loopdelay 480/' "$work/narrow.conf"
for attempt in 1 2; do
  status=0
  run --loopback --channels 2 --measure latency,thd --json >"$work/loop.json" 2>"$work/loop.err" || status=$?
  dropouts=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["loopback"].get("dropoutCount") or 0)' \
    "$work/loop.json" 2>/dev/null || echo 0)
  [[ $attempt -eq 1 && $dropouts -gt 0 ]] || break
  echo "WASAPI loopback: $dropouts dropouts (Wine's timer on a busy machine); once more"
done
[[ $status -eq 0 ]] || fail "WASAPI loopback exited with $status: $(cat "$work/loop.err")"
python3 - "$work/loop.json" <<'PY' || fail "WASAPI loopback figures: $(cat "$work/loop.json")"
import json, sys
loop = json.load(open(sys.argv[1], encoding="utf-8"))["loopback"]
latency = loop["latency"]["frames"]
thdn = [channel["thdnDb"] for channel in loop["channel"]]
print(f"WASAPI loopback: {latency} frames (the plugin's 480 and Wine's periods), THD+N {thdn} dB")
sys.exit(0 if loop["outcome"] == "measured" and 480 <= latency < 480 + 4410 and max(thdn) < -80 else 1)
PY
unset TALLOWMERE_AUDIO

[[ $failures -eq 0 ]] && echo "windows-wine-tests: all passed ($build)"
exit $((failures > 0))
