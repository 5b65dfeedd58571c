# Sourced by the other scripts: environment for running Quarvel and its tests.
export QT_MEDIA_BACKEND=gstreamer
# QtWebEngine refuses its sandbox as root.
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi

# The cue player needs an audio server; without a sound card PulseAudio plays
# into its null sink.
start_audio() {
  if command -v pulseaudio >/dev/null && ! pulseaudio --check 2>/dev/null; then
    pulseaudio -D --exit-idle-time=-1 >/dev/null 2>&1 || true
  fi
}
