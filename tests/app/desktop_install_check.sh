#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and builds its Debian package, then checks what
# a desktop and a package manager see: the installed files, the desktop entry and the metainfo
# against their validators, the manual page, the installed program's command line, and the
# package's control fields and contents.
#   desktop_install_check.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$1
source=$2
version=$3

work=$(mktemp -d /tmp/vidorra-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

desktop_id=fr.orvale.Vidorra
# Files (not folders) below the prefix, as installed and as packaged under /usr.
expected=(
  bin/vidorra
  share/applications/$desktop_id.desktop
  share/metainfo/$desktop_id.metainfo.xml
  share/man/man1/vidorra.1.gz
  share/icons/hicolor/scalable/apps/vidorra.svg
)
sizes=(16 22 24 32 48 64 128 256)
for size in "${sizes[@]}"; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/vidorra.png")
done
if [ -e "$source/resources/demo-machine" ]; then
  expected+=(share/vidorra/demo-machine)
  # The real devices' descriptions the demo machine replays.
  for sample in "$source"/resources/v4l2-samples/*.txt; do
    expected+=("share/vidorra/v4l2-samples/$(basename "$sample")")
  done
fi
expected_list=$(printf '%s\n' "${expected[@]}" | sort)

# Install.
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
installed_list=$(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort)
if [ "$installed_list" != "$expected_list" ]; then
  fail "installed files differ from the expected ones:"
  diff <(echo "$expected_list") <(echo "$installed_list") >&2 || true
fi

desktop-file-validate "$prefix/share/applications/$desktop_id.desktop" \
  || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/$desktop_id.metainfo.xml" >/dev/null \
  || fail "appstreamcli validate --no-net: $(appstreamcli validate --no-net \
    "$prefix/share/metainfo/$desktop_id.metainfo.xml" 2>&1)"
grep -q "<release version=\"$version\"" "$prefix/share/metainfo/$desktop_id.metainfo.xml" \
  || fail "the metainfo does not list release $version"

for size in "${sizes[@]}"; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/vidorra.png
  file "$png" | grep -q "PNG image data, $size x $size," || fail "$png is not $size x $size"
done

man_page=$prefix/share/man/man1/vidorra.1.gz
man_warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$man_page" 2>&1 >/dev/null)
[ -z "$man_warnings" ] || fail "the manual page has warnings: $man_warnings"
man_text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$man_page" 2>/dev/null)
for word in "--demo" "--simulation" "--help" "--version" VIDORRA_SIMULATION "EXIT STATUS" \
  "Video_051226_131012_0.avi" "Image_0000.bmp" "Vidorra $version"; do
  grep -qF -- "$word" <<<"$man_text" || fail "the manual page does not mention $word"
done

# The installed program's command line (nothing here opens a window).
program=$prefix/bin/vidorra
[ "$("$program" --version)" = "Vidorra $version" ] || fail "vidorra --version"
"$program" --help | grep -qF -- "--simulation FILE" || fail "vidorra --help"
status=0
message=$("$program" --bogus 2>&1 >/dev/null) || status=$?
[ "$status" -eq 2 ] || fail "vidorra --bogus exits with $status, not 2"
grep -qF "unknown option '--bogus'" <<<"$message" || fail "vidorra --bogus says: $message"
status=0
message=$("$program" --simulation "$work/none" 2>&1 >/dev/null) || status=$?
[ "$status" -eq 1 ] || fail "vidorra --simulation MISSING exits with $status, not 1"
grep -qF "$work/none" <<<"$message" || fail "vidorra --simulation MISSING says: $message"

# The Debian package.
cpack_output=$(cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" 2>&1) \
  || fail "cpack: $cpack_output"
debs=("$work"/package/vidorra_"$version"_*.deb)
if [ ! -f "${debs[0]}" ]; then
  fail "no package vidorra_${version}_*.deb"
else
  deb=${debs[0]}
  info=$(dpkg-deb --info "$deb")
  grep -qx " Package: vidorra" <<<"$info" || fail "package name"
  grep -qx " Version: $version" <<<"$info" || fail "package version"
  grep -qx " Section: video" <<<"$info" || fail "package section"
  depends=$(sed -n 's/^ Depends: //p' <<<"$info")
  # Fonts and plugins listed by hand, libraries found by dpkg-shlibdeps.
  for package in fonts-liberation2 fonts-roboto-slab qt6-qpa-plugins \
    libc6 libstdc++6 libqt6widgets6 libqt6dbus6 libpulse0 libavcodec libswscale; do
    [[ ", $depends" == *", $package"* ]] || fail "Depends lacks $package: $depends"
  done
  packaged_list=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $6}' \
    | sed 's|^\./usr/||' | sort)
  if [ "$packaged_list" != "$expected_list" ]; then
    fail "packaged files differ from the expected ones:"
    diff <(echo "$expected_list") <(echo "$packaged_list") >&2 || true
  fi
  dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/bin/vidorra >"$work/vidorra"
  file "$work/vidorra" | grep -q ", stripped" || fail "the packaged program is not stripped"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "install and package checks passed"
