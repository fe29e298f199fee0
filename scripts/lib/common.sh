# Shared by the scripts: installs the Debian packages the build and the tests need when they are
# missing (through sudo when not root); starts and stops the services the tests need.
VIDORRA_PACKAGES=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libavcodec-dev libavutil-dev libswscale-dev libavfilter-dev libavformat-dev
  libpulse-dev libjpeg-dev
  libv4l-dev libudev-dev libiec61883-dev libraw1394-dev libavc1394-dev
  ffmpeg pulseaudio dbus xvfb xauth imagemagick
  # The window's fonts: metric-compatible with the ones it was laid out with.
  fonts-liberation2 fonts-roboto-slab
  # Installing and packaging: icons, the desktop entry and metainfo checks, the manual page,
  # the Debian package and its library dependencies.
  librsvg2-bin desktop-file-utils appstream man-db dpkg-dev file
  # The README's picture of the window (scripts/screenshot): pressing its buttons under Xvfb.
  xdotool
)

vidorra_install_missing() {
  local missing=()
  local p
  for p in "${VIDORRA_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# A private D-Bus session bus and PulseAudio server (a null sink, a 1 kHz sine source) for the
# tests, and the environment they run in; vidorra_stop_test_services stops them again.
vidorra_start_test_services() {
  local top=$1
  vidorra_run_dir=$(mktemp -d /tmp/vidorra-test.XXXXXX)
  vidorra_dbus_pid=""
  eval "$(dbus-daemon --session --fork --print-address=1 --print-pid=1 \
    | { read -r addr; read -r pid; echo "export DBUS_SESSION_BUS_ADDRESS='$addr'; vidorra_dbus_pid=$pid"; })"
  export XDG_RUNTIME_DIR="$vidorra_run_dir"
  pulseaudio -n --daemonize=yes --exit-idle-time=-1 --disallow-exit \
    -L module-native-protocol-unix -L "module-null-sink sink_name=out" \
    -L "module-sine-source source_name=sine frequency=1000" 2>/dev/null \
    || echo "warning: no PulseAudio server for the tests" >&2
  export QT_QPA_PLATFORM=offscreen
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS=suppressions="$top/tests/support/lsan.supp"
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions="$top/tests/support/tsan.supp"
}

vidorra_stop_test_services() {
  if [ -n "${vidorra_dbus_pid:-}" ]; then kill "$vidorra_dbus_pid" 2>/dev/null || true; fi
  if [ -n "${vidorra_run_dir:-}" ]; then
    XDG_RUNTIME_DIR="$vidorra_run_dir" pulseaudio --kill 2>/dev/null || true
    rm -rf "$vidorra_run_dir"
  fi
}
