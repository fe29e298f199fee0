# Shared by scripts/run and scripts/test: installs the Debian packages the build and the tests
# need when they are missing (through sudo when not root).
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
