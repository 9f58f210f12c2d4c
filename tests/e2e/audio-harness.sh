# Harness for tests that must hear and see a program: a private PulseAudio
# daemon with a null sink, a low-latency recorder of that sink, and a virtual
# X display. Source it from a bash script; nothing here runs on its own.
#
#   source tests/e2e/audio-harness.sh
#   trap sonvel_harness_stop_all EXIT
#   sonvel_pulse_start              # exports PULSE_SERVER; sink $SONVEL_SINK
#   sonvel_record_start out.raw     # float32le, 48 kHz, stereo, raw
#   sonvel_sink_wake                # before anything plays
#   sonvel_xvfb_start               # exports DISPLAY
#   ./program & ...
#   sonvel_record_stop
#
# Every process is stopped by the pid that started it, never by name, so
# several harnesses may run side by side. Each start function answers
# non-zero (with a message on stderr) when its server does not come up.
#
# Facts this relies on: PulseAudio runs as root in user mode (no --system)
# when given its own runtime folder; it is ready in well under a second. An
# idle null sink hands its monitor data over only every two seconds, so the
# recorder is started first and the sink then suspended and resumed once,
# which makes it run at the recorder's latency from then on. Xvfb needs no
# window manager; top-level windows appear at their requested position.

SONVEL_SINK=${SONVEL_SINK:-sonvel_sink}
SONVEL_RATE=48000
SONVEL_CHANNELS=2

_sonvel_now_ms() { local us=${EPOCHREALTIME//[!0-9]/}; echo $(( 10#$us / 1000 )); }

# Waits until "$@" succeeds, at most $1 milliseconds (polled every 10 ms).
_sonvel_wait_for() {
  local limit_ms=$1; shift
  local until=$(( $(_sonvel_now_ms) + limit_ms ))
  until "$@" >/dev/null 2>&1; do
    (( $(_sonvel_now_ms) < until )) || return 1
    sleep 0.01
  done
}

# Starts a PulseAudio daemon whose only sink is a null sink named
# $SONVEL_SINK (48 kHz, stereo), in a fresh private folder. Exports
# PULSE_SERVER so that every client started afterwards (parec, pactl, SDL2)
# talks to it, and sets SONVEL_PULSE_PID and SONVEL_PULSE_DIR.
sonvel_pulse_start() {
  SONVEL_PULSE_DIR=$(mktemp -d "${TMPDIR:-/tmp}/sonvel-pulse.XXXXXX") || return 1
  chmod 700 "$SONVEL_PULSE_DIR"
  # HOME and XDG_RUNTIME_DIR point into the private folder so that the daemon
  # keeps its state and socket there; DISPLAY is dropped so that it does not
  # try to reach an X server.
  env -u DISPLAY HOME="$SONVEL_PULSE_DIR" XDG_RUNTIME_DIR="$SONVEL_PULSE_DIR" \
    pulseaudio --daemonize=no --exit-idle-time=-1 -n \
      --log-target=file:"$SONVEL_PULSE_DIR/pulse.log" \
      --load="module-native-protocol-unix auth-anonymous=1 socket=$SONVEL_PULSE_DIR/native" \
      --load="module-null-sink sink_name=$SONVEL_SINK rate=$SONVEL_RATE channels=$SONVEL_CHANNELS" \
      </dev/null >/dev/null 2>&1 &
  SONVEL_PULSE_PID=$!
  export PULSE_SERVER="unix:$SONVEL_PULSE_DIR/native"
  if ! _sonvel_wait_for 5000 pactl info; then
    echo "audio-harness: PulseAudio did not come up (log: $SONVEL_PULSE_DIR/pulse.log)" >&2
    return 1
  fi
}

sonvel_pulse_stop() {
  if [ -n "${SONVEL_PULSE_PID:-}" ]; then
    kill "$SONVEL_PULSE_PID" 2>/dev/null
    wait "$SONVEL_PULSE_PID" 2>/dev/null
    SONVEL_PULSE_PID=
  fi
  unset PULSE_SERVER
  [ -n "${SONVEL_PULSE_DIR:-}" ] && rm -rf "$SONVEL_PULSE_DIR"
  SONVEL_PULSE_DIR=
  return 0
}

# Records the sink's monitor as raw float32le, 48 kHz, stereo.
#   sonvel_record_start FILE          writes FILE
#   sonvel_record_start - CMD [ARG]   feeds the stream to CMD's standard input
#                                     (CMD writes what it wants and ends at
#                                     end of input)
# Sets SONVEL_RECORD_PID (the recorder) and SONVEL_RECORD_SINK_PID (CMD).
sonvel_record_start() {
  local target=$1; shift
  local parec=(parec -d "$SONVEL_SINK.monitor" --latency-msec=10 --raw
               --format=float32le --rate=$SONVEL_RATE --channels=$SONVEL_CHANNELS)
  SONVEL_RECORD_SINK_PID=
  if [ "$target" = - ]; then
    local fifo="$SONVEL_PULSE_DIR/record.fifo"
    rm -f "$fifo" && mkfifo "$fifo" || return 1
    "$@" <"$fifo" &
    SONVEL_RECORD_SINK_PID=$!
    "${parec[@]}" >"$fifo" 2>"$SONVEL_PULSE_DIR/parec.log" &
  else
    "${parec[@]}" >"$target" 2>"$SONVEL_PULSE_DIR/parec.log" &
  fi
  SONVEL_RECORD_PID=$!
  # The recorder is connected once the server lists its stream.
  if ! _sonvel_wait_for 5000 _sonvel_has_record_stream; then
    echo "audio-harness: the recorder did not connect (log: $SONVEL_PULSE_DIR/parec.log)" >&2
    return 1
  fi
}

_sonvel_has_record_stream() { [ -n "$(pactl list short source-outputs)" ]; }

# Stops the recorder and waits until everything it recorded is written.
sonvel_record_stop() {
  if [ -n "${SONVEL_RECORD_PID:-}" ]; then
    kill -INT "$SONVEL_RECORD_PID" 2>/dev/null
    wait "$SONVEL_RECORD_PID" 2>/dev/null
    SONVEL_RECORD_PID=
  fi
  if [ -n "${SONVEL_RECORD_SINK_PID:-}" ]; then
    wait "$SONVEL_RECORD_SINK_PID"
    local rc=$?
    SONVEL_RECORD_SINK_PID=
    return $rc
  fi
  return 0
}

# Suspends and resumes the sink once, so that the idle null sink wakes up
# and serves the recorder at its low latency. Call after sonvel_record_start
# and before anything plays.
sonvel_sink_wake() {
  pactl suspend-sink "$SONVEL_SINK" 1 && pactl suspend-sink "$SONVEL_SINK" 0
}

# Starts Xvfb on the first free display (it chooses and reports the number
# itself), exports DISPLAY and sets SONVEL_XVFB_PID.
#   sonvel_xvfb_start [WIDTHxHEIGHTxDEPTH]   (default 1024x768x24)
sonvel_xvfb_start() {
  local screen=${1:-1024x768x24}
  local numfile
  numfile=$(mktemp "${TMPDIR:-/tmp}/sonvel-xvfb.XXXXXX") || return 1
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$numfile" </dev/null >/dev/null 2>&1 &
  SONVEL_XVFB_PID=$!
  # Xvfb writes the display number once it accepts clients.
  if ! _sonvel_wait_for 10000 test -s "$numfile"; then
    echo "audio-harness: Xvfb did not come up" >&2
    rm -f "$numfile"
    return 1
  fi
  export DISPLAY=":$(tr -d '[:space:]' <"$numfile")"
  rm -f "$numfile"
}

sonvel_xvfb_stop() {
  if [ -n "${SONVEL_XVFB_PID:-}" ]; then
    kill "$SONVEL_XVFB_PID" 2>/dev/null
    wait "$SONVEL_XVFB_PID" 2>/dev/null
    SONVEL_XVFB_PID=
  fi
  unset DISPLAY
  return 0
}

# Stops whatever of the above is still running; meant for `trap ... EXIT`.
sonvel_harness_stop_all() {
  sonvel_record_stop
  sonvel_xvfb_stop
  sonvel_pulse_stop
  return 0
}
