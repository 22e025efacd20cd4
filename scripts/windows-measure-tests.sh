#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows command line's measurements under Wine, each beside the Linux
# build's on the same input: the figures must be equal.
#  1. --analyze on the virtual input (--json: the analysis member);
#  2. --analyze-file on a file sox made, a 24-bit stereo tone with a
#     harmonic and a gap (--json: all but the file's path), and its text;
#  3. --loopback on the virtual loopback pair with known impairments: the
#     table and the JSON;
#  4. --formats on the virtual devices: the matrix and its JSON;
#  5. --plot is refused with its reason (no pictures on Windows);
#  6. --report of the virtual input's analysis: the same sections, and the
#     analysis's section (figures, verdicts, picture) byte for byte.
#  7. a short --soak on the virtual loopback pair with a known drift and skip.
# Usage: windows-measure-tests.sh BUILD_DIR PREFIX LINUX_BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
usage="usage: windows-measure-tests.sh BUILD_DIR PREFIX LINUX_BUILD_DIR"
build=$(realpath "${1:?$usage}")
export WINEPREFIX=$(realpath -m "${2:?$usage}")
linux_build=$(realpath "${3:?$usage}")
export WINEDEBUG=-all
export ALSA_CONFIG_PATH=$PWD/scripts/windows-null-alsa.conf
export TALLOWMERE_AUDIO=virtual
cli=$build/src/cli/tallowmere-cli.exe
linux_cli=$linux_build/src/cli/tallowmere-cli
[[ -f "$cli" ]] || { echo "windows-measure-tests: $cli was not built" >&2; exit 1; }
[[ -x "$linux_cli" ]] || { echo "windows-measure-tests: $linux_cli was not built (make build)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "windows-measure-tests: FAILED: $*" >&2
  failures=$((failures + 1))
}
windows_path() {
  printf 'Z:%s' "${1//\//\\}"
}
# Runs one command line on both builds: NAME.win and NAME.linux hold the
# standard output (CR LF made LF), NAME.status the two exit statuses.
both() {
  local name=$1
  shift
  local win_status=0 linux_status=0
  timeout 300 wine "$cli" "$@" >"$work/$name.win" 2>"$work/$name.win.err" || win_status=$?
  timeout 300 "$linux_cli" "$@" >"$work/$name.linux" 2>"$work/$name.linux.err" || linux_status=$?
  sed -i 's/\r$//' "$work/$name.win" "$work/$name.win.err"
  echo "$win_status $linux_status" >"$work/$name.status"
}
# The two runs' exit statuses are equal and one of the expected.
same_status() {
  local name=$1 expected=$2 statuses
  read -r -a statuses <"$work/$name.status"
  [[ ${statuses[0]} == "${statuses[1]}" ]] ||
    fail "$name: exit status ${statuses[0]} on Windows, ${statuses[1]} on Linux: $(cat "$work/$name.win.err")"
  [[ " $expected " == *" ${statuses[0]} "* ]] ||
    fail "$name: exit status ${statuses[0]}, not $expected: $(cat "$work/$name.win.err")"
}
# Compares the JSON members named (dotted paths; "." the whole document)
# with the members in DROP (times, which no two runs share) removed first.
same_json() {
  local name=$1 members=$2 drop=${3:-}
  python3 - "$work/$name.win" "$work/$name.linux" "$members" "$drop" <<'PY' || fail "$name: the JSON differs"
import json, sys
win, linux = (json.load(open(path)) for path in sys.argv[1:3])
def member(document, path):
    for key in filter(None, path.split(".")):
        document = document[key]
    return document
# A member to drop is looked for in every element of the lists on its path.
def drop(document, keys):
    if isinstance(document, list):
        for element in document:
            drop(element, keys)
    elif len(keys) == 1:
        document.pop(keys[0], None)
    elif keys[0] in document:
        drop(document[keys[0]], keys[1:])
for path in filter(None, sys.argv[4].split(",")):
    for document in (win, linux):
        drop(document, path.split("."))
for path in sys.argv[3].split(","):
    a, b = member(win, path), member(linux, path)
    if a != b:
        print(f"{path}:\n  Windows: {json.dumps(a)[:2000]}\n  Linux:   {json.dumps(b)[:2000]}")
        sys.exit(1)
    print(f"{path}: equal ({len(json.dumps(a))} characters)")
PY
}
same_text() {
  local name=$1
  diff -u "$work/$name.linux" "$work/$name.win" >&2 || fail "$name: the text differs"
}

# 1. The virtual input's recording.
both analyze --duration 1 --channels 2 --rate 48000 --bits 24 --api extended --analyze --json
same_status analyze 0
same_json analyze analysis

# 2. A file sox made: 1 kHz at -6 dBFS with its third harmonic 60 dB down,
# 10 ms of silence in the middle, undithered, asked for as 20-bit precision.
sox -D -n -r 48000 -b 24 -c 2 "$work/a.wav" synth 1 sine 1000 sine 3000 remix 1v0.5,2v0.0005 1v0.5,2v0.0005
sox -n -r 48000 -b 24 -c 2 "$work/gap.wav" trim 0 0.01
sox "$work/a.wav" "$work/gap.wav" "$work/a.wav" "$work/file.wav"
for form in json text; do
  flags=(--analyze-file)
  [[ $form == json ]] && flags=(--json --analyze-file)
  status=0
  timeout 300 wine "$cli" "${flags[@]}" "$(windows_path "$work/file.wav")" --valid-bits 20 \
    >"$work/file-$form.win" 2>"$work/file-$form.win.err" || status=$?
  linux_status=0
  "$linux_cli" "${flags[@]}" "$work/file.wav" --valid-bits 20 >"$work/file-$form.linux" 2>&1 || linux_status=$?
  sed -i 's/\r$//' "$work/file-$form.win"
  # The heading names the file as each system spells its path.
  sed -i '1s/^Analysis of .*/Analysis of FILE/' "$work/file-$form.win" "$work/file-$form.linux"
  echo "$status $linux_status" >"$work/file-$form.status"
  same_status "file-$form" "0 3"
done
same_json file-json analysis,exitStatus
same_text file-text

# 3. The virtual loopback pair, with a chain of known impairments (the
# response's 1 dB tilt fails its check: exit status 3).
export TALLOWMERE_VIRTUAL_LOOPBACK=latency=480,gain=-3,noise=-96,harmonic=-60,tilt=-1,crosstalk=-70,dropout=60000+48,seed=7
loopback=(--loopback --input "Tallowmere Virtual Loopback In" --output "Tallowmere Virtual Loopback Out"
          --channels 2 --rate 48000 --bits 24 --api extended --max-latency 20 --max-response-deviation 0.5)
both loopback-text "${loopback[@]}"
same_status loopback-text 3
same_text loopback-text
both loopback-json "${loopback[@]}" --json
same_status loopback-json 3
same_json loopback-json loopback,exitStatus
unset TALLOWMERE_VIRTUAL_LOOPBACK

# 4. The format matrix of the virtual devices.
both formats --formats --input 0 --output 0
same_status formats 0
same_text formats
both formats-json --formats --input 0 --output 0 --json
same_status formats-json 0
same_json formats-json . matrices.seconds

# 5. No pictures: refused as a usage error, before anything runs.
status=0
timeout 300 wine "$cli" --analyze-file "$(windows_path "$work/file.wav")" --plot "$(windows_path "$work/p.png")" \
  >/dev/null 2>"$work/plot.err" || status=$?
[[ $status -eq 2 ]] && grep -q -- "--plot: the pictures are not in this build" "$work/plot.err" ||
  fail "--plot: exit status $status, $(cat "$work/plot.err")"

# 6. The report of the virtual input's analysis: the system differs, the
# analysis's section must not.
status=0
timeout 300 wine "$cli" --duration 1 --analyze --report "$(windows_path "$work/report-win.html")" \
  >/dev/null 2>"$work/report.win.err" || status=$?
linux_status=0
"$linux_cli" --duration 1 --analyze --report "$work/report-linux.html" >/dev/null 2>&1 || linux_status=$?
[[ $status -eq 0 && $linux_status -eq 0 ]] ||
  fail "report: exit status $status on Windows, $linux_status on Linux: $(cat "$work/report.win.err")"
python3 - "$work/report-win.html" "$work/report-linux.html" <<'PY' || fail "report: the analysis's sections differ"
import difflib, re, sys
win, linux = (open(path, encoding="utf-8").read() for path in sys.argv[1:3])
ids = [re.findall(r'<section id="([a-z]+)">', text) for text in (win, linux)]
if ids[0] != ids[1] or ids[0] != ["system", "test", "analysis"]:
    print(f"sections: Windows {ids[0]}, Linux {ids[1]}")
    sys.exit(1)
a, b = (re.search(r'<section id="analysis">.*?</section>', text, re.S).group(0) for text in (win, linux))
if a != b:
    sys.stdout.writelines(list(difflib.unified_diff(b.splitlines(True), a.splitlines(True), "Linux", "Windows"))[:40])
    sys.exit(1)
print(f"report: the analysis's sections are equal ({len(a)} characters)")
PY

# 7. A short soak on the virtual loopback pair with a 50 ppm clock drift and
# 10 input frames skipped: the same events and checks on both builds, the
# drift found on each. Streaming runs on the wall clock, so the latency and
# drift figures may differ in their last digit between any two runs, and a
# loaded machine streams fewer frames in the same 3 s: the frame counts are
# held to the wall clock's bounds, not to each other, and the clocks'
# measured rates and the times are left out.
export TALLOWMERE_VIRTUAL_LOOPBACK=drift=50,skip=30000+10,seed=7
both soak --soak 3s --input "Tallowmere Virtual Loopback In" --output "Tallowmere Virtual Loopback Out" --json
unset TALLOWMERE_VIRTUAL_LOOPBACK
same_status soak 0
same_json soak soak.format,soak.blockFrames,soak.outcome,soak.error,soak.events,soak.xruns,soak.glitches,soak.stimulusHeard,soak.eventList,soak.checks,exitStatus
python3 - "$work/soak.win" "$work/soak.linux" <<'PY' || fail "soak: the drift or latency differs"
import json, sys
win, linux = (json.load(open(path))["soak"] for path in sys.argv[1:3])
for name, a, b, within in (("drift.ppm", win["drift"]["ppm"], linux["drift"]["ppm"], 0.01),
                           ("latencyMs.min", win["latencyMs"]["min"], linux["latencyMs"]["min"], 0.001),
                           ("latencyMs.max", win["latencyMs"]["max"], linux["latencyMs"]["max"], 0.001)):
    print(f"soak {name}: Windows {a}, Linux {b}")
    if abs(a - b) > within:
        sys.exit(1)
for build, run in (("Windows", win), ("Linux", linux)):
    expected = run["format"]["sampleRate"] * run["durationSeconds"]
    latency = run["latencyMs"]
    for clock in ("inputClock", "outputClock"):
        frames = run[clock]["frames"]
        if not 0.8 * expected <= frames <= 1.02 * expected:
            print(f"soak {build} {clock}.frames: {frames}, not near {expected:.0f}")
            sys.exit(1)
    if not latency["min"] <= latency["now"] <= latency["max"]:
        print(f"soak {build} latencyMs: now {latency['now']} outside {latency['min']}..{latency['max']}")
        sys.exit(1)
# The impairment's truth: 50 ppm and one 10-frame jump on the input.
if abs(win["drift"]["ppm"] - 50) > 0.1 or [(e["event"], e["frames"]) for e in win["eventList"]] != [("jump", 10)]:
    print(f"soak: drift {win['drift']['ppm']} ppm, events {win['eventList']}")
    sys.exit(1)
PY

[[ $failures -eq 0 ]] && echo "windows-measure-tests: all passed ($build)"
exit $((failures > 0))
