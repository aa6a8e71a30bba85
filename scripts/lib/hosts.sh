# Test hosts: an X server (Xvfb) and a PulseAudio daemon, each private to this run.
# Sourced by scripts/test; every function exports what the tests need to reach the host.

vc_hosts_dir=""

vc_cleanup_hosts() {
  [ -n "${VC_XVFB_PID:-}" ] && kill "$VC_XVFB_PID" 2>/dev/null || true
  [ -n "${VC_PULSE_PID:-}" ] && kill "$VC_PULSE_PID" 2>/dev/null || true
  [ -n "$vc_hosts_dir" ] && rm -rf "$vc_hosts_dir"
  return 0
}

vc_hosts_init() {
  vc_hosts_dir=$(mktemp -d /tmp/vellumcaster-hosts.XXXXXX)
  trap vc_cleanup_hosts EXIT
}

# Starts Xvfb on a free display number and exports DISPLAY. Xvfb picks the number itself (-displayfd), so that runs
# started at the same moment never settle on the same display and one of them loses it when the other ends.
vc_start_xvfb() {
  command -v Xvfb >/dev/null || { echo "Xvfb is missing" >&2; return 1; }
  local number_file="$vc_hosts_dir/xvfb.display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number_file" >"$vc_hosts_dir/xvfb.log" 2>&1 &
  VC_XVFB_PID=$!
  local n
  for _ in $(seq 1 100); do
    n=$(head -n 1 "$number_file" 2>/dev/null)
    [ -n "$n" ] && { export DISPLAY=":$n"; return 0; }
    kill -0 "$VC_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  kill "$VC_XVFB_PID" 2>/dev/null || true
  echo "could not start Xvfb" >&2
  return 1
}

# Starts a PulseAudio daemon with a null sink and a pipe source as the default source.
# Exports XDG_RUNTIME_DIR, PULSE_SERVER and VC_PULSE_PIPE (the FIFO that feeds the source: s16le, 16 kHz, mono).
vc_start_pulseaudio() {
  command -v pulseaudio >/dev/null || { echo "pulseaudio is missing" >&2; return 1; }
  export XDG_RUNTIME_DIR="$vc_hosts_dir/runtime"
  mkdir -p "$XDG_RUNTIME_DIR/pulse"
  chmod 700 "$XDG_RUNTIME_DIR"
  export VC_PULSE_PIPE="$vc_hosts_dir/mic.fifo"
  local conf="$vc_hosts_dir/default.pa"
  cat >"$conf" <<PA
load-module module-native-protocol-unix socket=$XDG_RUNTIME_DIR/pulse/native auth-anonymous=1
load-module module-null-sink sink_name=vc_null
load-module module-pipe-source source_name=vc_mic file=$VC_PULSE_PIPE format=s16le rate=16000 channels=1
set-default-source vc_mic
set-default-sink vc_null
PA
  export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
  # In the foreground of a background job, so that its pid is known and the cleanup stops exactly this daemon
  # (without a pid file, "pulseaudio --kill" finds nothing to stop).
  pulseaudio --daemonize=no --exit-idle-time=-1 -n --file="$conf" --use-pid-file=no \
    --log-target=file:"$vc_hosts_dir/pulse.log" &
  VC_PULSE_PID=$!
  for _ in $(seq 1 50); do
    pactl info >/dev/null 2>&1 && return 0
    kill -0 "$VC_PULSE_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "PulseAudio did not answer" >&2
  cat "$vc_hosts_dir/pulse.log" >&2
  return 1
}
