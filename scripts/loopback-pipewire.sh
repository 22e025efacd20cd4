#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The loopback measurement through a real sound server: a private PipeWire
# with WirePlumber in a temporary runtime directory, a stereo 48 kHz null
# sink, and a private ALSA configuration whose "pw" device ("PipeWire null
# sink") plays into the sink and records its monitor. Runs
# `tallowmere-cli --loopback` on it, prints what it prints, stops the server
# and exits with the program's status. Not part of `make test`.
#
#   scripts/loopback-pipewire.sh [BUILD_DIR] [-- tallowmere-cli flags]
#
# Without flags: --measure all --rate 48000 --channels 2. Flags that name
# another mode of the pair (--soak DURATION, --formats) run it instead of
# the loopback: `-- --soak 10m --rate 48000 --channels 2 --bits 24`. Needs
# the Debian packages pipewire, pipewire-bin, wireplumber, pipewire-alsa
# and dbus.
set -euo pipefail

build=build/default
if [[ $# -gt 0 && $1 != -- ]]; then
  build=$1
  shift
fi
[[ ${1:-} == -- ]] && shift
flags=("$@")
[[ ${#flags[@]} -eq 0 ]] && flags=(--measure all --rate 48000 --channels 2)

cli=$build/src/cli/tallowmere-cli
[[ -x $cli ]] || { echo "loopback-pipewire: no $cli; build first (make build)" >&2; exit 1; }
for tool in pipewire wireplumber pw-cli dbus-daemon; do
  command -v "$tool" >/dev/null || { echo "loopback-pipewire: $tool is not installed" >&2; exit 1; }
done
plugin=$(dpkg -L pipewire-alsa 2>/dev/null | grep 'libasound_module_pcm_pipewire\.so$' | head -n 1 || true)
[[ -n $plugin ]] || { echo "loopback-pipewire: pipewire-alsa is not installed" >&2; exit 1; }

work=$(mktemp -d)
pids=()
stop() {
  # Our own processes only, by their ids, the last started first.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap stop EXIT

export XDG_RUNTIME_DIR=$work/run PIPEWIRE_RUNTIME_DIR=$work/run
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/run/bus
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME"
chmod 700 "$XDG_RUNTIME_DIR"

# Waits up to ten seconds for a condition, or names what never came.
await() {
  local what=$1
  shift
  for _ in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "loopback-pipewire: $what did not come up" >&2
  tail -n 5 "$work"/*.log >&2 || true
  exit 1
}

dbus-daemon --session --address="$DBUS_SESSION_BUS_ADDRESS" --nofork --nopidfile >"$work/dbus.log" 2>&1 &
pids+=($!)
await "the session bus" test -S "$work/run/bus"
pipewire >"$work/pipewire.log" 2>&1 &
pids+=($!)
await "PipeWire" test -S "$work/run/pipewire-0"
wireplumber >"$work/wireplumber.log" 2>&1 &
pids+=($!)
# The session manager is ready once it publishes the default metadata.
await "WirePlumber" sh -c 'pw-cli ls Metadata | grep -q "metadata.name = \"default\""'
pw-cli create-node adapter '{ factory.name=support.null-audio-sink node.name=tallowmere_null
  node.description="Tallowmere null sink" media.class=Audio/Sink object.linger=true
  audio.rate=48000 audio.channels=2 audio.position=[ FL FR ] }' >/dev/null
await "the null sink" sh -c 'pw-cli ls Node | grep -q "node.name = \"tallowmere_null\""'

# Hermetic: only this device exists. A capture aimed at a sink records its monitor.
cat >"$work/asound.conf" <<EOF
pcm_type.pipewire { lib "$plugin" }
pcm.pw {
  type pipewire
  server "pipewire-0"
  playback_node "tallowmere_null"
  capture_node "tallowmere_null"
  hint { show on description "PipeWire null sink" }
}
EOF

mode=(--loopback)
for flag in "${flags[@]}"; do
  [[ $flag == --soak || $flag == --formats ]] && mode=()
done
status=0
ALSA_CONFIG_PATH=$work/asound.conf TALLOWMERE_AUDIO=alsa \
  "$cli" "${mode[@]}" --input "PipeWire null sink" --output "PipeWire null sink" "${flags[@]}" || status=$?
exit "$status"
