#!/usr/bin/env bash
# Builds pulse-demo for Windows x86-64 on Debian 12 with MinGW-w64 and tests
# it under Wine: the Qt Test suites that need no POSIX, then a real session of
# pulse-demo.exe on Xvfb against the Linux simulator, then the Windows package
# (a zip and an NSIS installer), installed under Wine and started from where it
# was installed. Exits non-zero on the first failure. Needs root (apt-get,
# debootstrap, chroot, mount).
#
#   scripts/test-windows.sh             # every phase (all_phases below)
#   scripts/test-windows.sh qt edflib   # some phases only, in the order given
#
# Kept in /var/cache/pulse-demo (PULSE_WIN_CACHE) so that a later run starts
# at once: Qt for Windows and EDFlib (in folders named by a key of their
# versions and options: another version or option builds anew), the Debian 13
# chroot with Wine 10 and its prefix (a stamp marks each complete), and a
# compiler cache for the project's own build. The third-party tarballs are
# taken from ../shared/third_party beside the checkout (PULSE_THIRD_PARTY).
# The chroot is made from the Debian archive that the host's apt sources name
# (PULSE_DEBIAN_MIRROR=URL names another).
set -euo pipefail

all_phases=(deps qt edflib build chroot suites session package)

repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${PULSE_WIN_CACHE:-/var/cache/pulse-demo}
third_party=${PULSE_THIRD_PARTY:-$repo/../shared/third_party}
out=${PULSE_WIN_OUT:-$repo/build-windows} # the cross build, logs, screenshots, package
triplet=x86_64-w64-mingw32
jobs=${PULSE_WIN_JOBS:-$(nproc)}

say() { echo "== test-windows: $*"; }
die() {
  echo "test-windows: $*" >&2
  exit 1
}
# shellcheck source=scripts/lib/packages.sh
. "$repo/scripts/lib/packages.sh"

if [ "$(id -u)" -ne 0 ]; then
  echo "test-windows: needs root (apt-get, debootstrap, chroot and mount); try: sudo $0" >&2
  exit 2
fi
case "$cache" in
  /?*) ;;
  *) die "PULSE_WIN_CACHE must be an absolute path" ;;
esac

# --- deps: the cross compiler and the tools, all from Debian -----------------
phase_deps() {
  local pkgs=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    mingw-w64-x86-64-dev cmake ninja-build ccache dpkg-dev debootstrap debian-archive-keyring
    nsis zip xz-utils python3 qt6-base-dev qt6-serialport-dev qt6-base-dev-tools
    xvfb xdotool x11-utils imagemagick)
  # qtbase's Windows sources come from Debian's source package of the host Qt.
  local src=/etc/apt/sources.list.d/pulse-demo-src.sources
  if [ ! -f "$src" ]; then
    local mirror
    mirror=$(debian_mirror) || exit 1
    say "adding a deb-src entry for Debian 12 ($src)"
    printf 'Types: deb-src\nURIs: %s\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      "$mirror" >"$src"
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
  fi
  install_missing "${pkgs[@]}"
}

# --- qt: Qt for Windows, cross-built once ------------------------------------
qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || echo unknown)
qt_upstream=${qt_version%%+*} # 6.4.2+dfsg-10 -> 6.4.2
serialport_tar=$third_party/qtserialport-$qt_upstream.tar.xz
edflib_tar=$third_party/edflib-1.23.tar.xz

# Only what the program and its tests use: Core, Gui, Widgets, Test, the
# Windows, offscreen and minimal platforms and the Windows styles. DirectWrite 3
# needs the Direct2D parts, which are left out; Qt's default font database on
# Windows is the GDI one either way.
qt_options=(-xplatform win32-g++ -qt-host-path /usr -release -shared -nomake examples -nomake tests
  -no-opengl -no-dbus -no-feature-sql -no-feature-network -no-feature-printsupport
  -no-feature-concurrent -no-feature-xml -no-feature-tabletevent -no-feature-direct2d
  -no-feature-directwrite3 -no-feature-vulkan -no-feature-zstd -no-icu -no-glib -no-libjpeg
  -qt-zlib -qt-libpng -qt-pcre -qt-harfbuzz -qt-freetype -qt-doubleconversion)

mingw_version() { "$triplet-g++-posix" -dumpfullversion 2>/dev/null || echo none; }

key_of() { printf '%s\n' "$@" | sha256sum | cut -c1-12; }

qt_key() {
  local serial_sum
  serial_sum=$(sha256sum "$serialport_tar" | cut -d' ' -f1)
  key_of "qtbase $qt_version" "qtserialport $serial_sum" "mingw $(mingw_version)" "${qt_options[*]}"
}

write_toolchain() { # write_toolchain FILE
  cat >"$1" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $triplet-gcc-posix)
set(CMAKE_CXX_COMPILER $triplet-g++-posix)
set(CMAKE_RC_COMPILER $triplet-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triplet)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
}

needs_source() { # needs_source TARBALL
  [ -f "$1" ] || die "no $1 (set PULSE_THIRD_PARTY to the folder with it)"
}

# A built prefix is complete once its stamp is there; says so when reused.
reusing() { # reusing PREFIX WHAT
  [ -f "$1/.complete" ] || return 1
  say "reusing $2 in $1"
}

# Qt for Windows is kept in a folder named by its key.
qt_locate() {
  qt_prefix=$cache/qt-win-$qt_upstream-$(qt_key)
}

phase_qt() {
  needs_source "$serialport_tar"
  qt_locate
  reusing "$qt_prefix" "Qt $qt_upstream for Windows" && return
  # An interrupted build of the same key carries on where it stopped.
  local key work=$cache/qt-win-build
  key=$(qt_key)
  if [ "$(cat "$work/key" 2>/dev/null)" != "$key" ] || [ ! -f "$work/qtbase/build.ninja" ]; then
    rm -rf --one-file-system "$work" "$qt_prefix"
    mkdir -p "$work" "$qt_prefix"
    write_toolchain "$qt_prefix/mingw-toolchain.cmake"
    say "fetching Debian's qt6-base $qt_version source"
    (cd "$work" && apt-get source -qq "qt6-base=$qt_version" >/dev/null 2>&1) ||
      die "apt-get source qt6-base=$qt_version failed (is a deb-src entry there?)"
    local src
    src=$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' | head -1)
    say "configuring qtbase for Windows (log: $work/qtbase.log)"
    mkdir -p "$work/qtbase"
    (cd "$work/qtbase" && "$src/configure" -prefix "$qt_prefix" "${qt_options[@]}" -- \
      -G Ninja -DCMAKE_TOOLCHAIN_FILE="$qt_prefix/mingw-toolchain.cmake" \
      -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake) >"$work/qtbase.log" 2>&1 ||
      die "qtbase configure failed: see $work/qtbase.log"
    echo "$key" >"$work/key"
  else
    say "carrying on with the interrupted build of qtbase in $work"
  fi
  say "building qtbase for Windows with $jobs jobs (about 30 min on 2 cores)"
  nice -n 10 cmake --build "$work/qtbase" --parallel "$jobs" >>"$work/qtbase.log" 2>&1 ||
    die "qtbase build failed: see $work/qtbase.log"
  cmake --install "$work/qtbase" >>"$work/qtbase.log" 2>&1 || die "qtbase install failed"
  say "building Qt Serial Port from $(basename "$serialport_tar")"
  rm -rf "$work/serialport-src" "$work/serialport"
  mkdir -p "$work/serialport-src" "$work/serialport"
  tar -xJf "$serialport_tar" -C "$work/serialport-src" --strip-components=1
  (cd "$work/serialport" && "$qt_prefix/bin/qt-configure-module" "$work/serialport-src" -- \
    -G Ninja -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake &&
    nice -n 10 cmake --build . --parallel "$jobs" && cmake --install .) >"$work/serialport.log" 2>&1 ||
    die "Qt Serial Port build failed: see $work/serialport.log"
  touch "$qt_prefix/.complete"
  rm -rf --one-file-system "$work"
  say "Qt $qt_upstream for Windows ready in $qt_prefix"
}

# --- chroot: Debian 13 with Wine 10, and its Wine prefix --------------------
# Debian 12's Wine 8 cannot serve Qt's overlapped serial reads; Wine 10 can.
# The chroot gets a /dev of its own with no serial device in it: Wine gives
# every serial device it finds a COM name, and must never reach the
# machine's own. The host's /tmp is shared (the X socket, the test sessions'
# port folders), and the cross build's folder appears at its own path.
root=${PULSE_WINE_CHROOT:-$cache/wine-chroot}
wine_packages=(wine wine64 libwine fonts-wine xauth libx11-6 libxext6 libxrender1 libxrandr2 libxi6
  libxcursor1 libxinerama1 libxcomposite1 libxfixes3 libfreetype6 libfontconfig1 fontconfig)
prefix_in_chroot=/root/wine-prefix
# shellcheck source=scripts/lib/chroot-mounts.sh
. "$repo/scripts/lib/chroot-mounts.sh"
# shellcheck source=scripts/lib/debian-chroot.sh
. "$repo/scripts/lib/debian-chroot.sh"

mount_chroot() {
  [ ${#mounted[@]} -eq 0 ] || return 0
  unmount_leftovers
  mkdir -p "$root/proc" "$root/dev" "$root/tmp"
  mount -t proc proc "$root/proc"
  mounted+=("$root/proc")
  mount -t tmpfs -o mode=755,nosuid dev "$root/dev"
  mounted+=("$root/dev")
  local node dev major minor
  for node in null:1:3 zero:1:5 full:1:7 random:1:8 urandom:1:9 tty:5:0; do
    IFS=: read -r dev major minor <<<"$node"
    mknod -m 666 "$root/dev/$dev" c "$major" "$minor"
  done
  mkdir -p "$root/dev/pts" "$root/dev/shm"
  mount --bind /dev/pts "$root/dev/pts"
  mounted+=("$root/dev/pts")
  ln -s pts/ptmx "$root/dev/ptmx"
  mount -t tmpfs -o mode=1777,nosuid,nodev shm "$root/dev/shm"
  mounted+=("$root/dev/shm")
  mount --bind /tmp "$root/tmp"
  mount --make-slave "$root/tmp"
  mounted+=("$root/tmp")
  mkdir -p "$out" "$root$out"
  mount --bind "$out" "$root$out"
  mounted+=("$root$out")
}

# Wine's environment in the chroot, as env(1) arguments in wine_env: a clean
# one that takes only WINEDEBUG from ours (-all by default), with the pty
# helper once use_chroot has built it. The caller adds the display: in_chroot
# the one it has now, a test wrapper the one it has when it runs.
set_wine_env() {
  wine_env=(HOME=/root PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 "WINEPREFIX=$prefix_in_chroot"
    "WINEDEBUG=${WINEDEBUG:--all}" 'WINEDLLOVERRIDES=mscoree,mshtml='
    ${WINE_PRELOAD:+"LD_PRELOAD=$WINE_PRELOAD"})
}

# in_chroot COMMAND...: runs a command under Wine's environment in the chroot.
in_chroot() {
  set_wine_env
  chroot "$root" /usr/bin/env -i "${wine_env[@]}" ${DISPLAY:+"DISPLAY=$DISPLAY"} "$@"
}

phase_chroot() {
  local stamp=$root/.pulse-demo-wine-complete
  if [ -f "$stamp" ]; then
    say "reusing the Debian 13 chroot with Wine in $root"
  else
    local mirror
    mirror=$(debian_mirror) || exit 1
    say "making a Debian 13 chroot with Wine 10 in $root from $mirror (downloads about 400 MB; once)"
    mkdir -p "$cache"
    make_debian_chroot trixie "$mirror" >"$cache/wine-chroot-debootstrap.log" 2>&1 ||
      die "making the chroot failed: see $cache/wine-chroot-debootstrap.log"
    mount_chroot
    in_chroot /bin/sh -c "apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
      --no-install-recommends ${wine_packages[*]}" >"$cache/wine-chroot-apt.log" 2>&1 ||
      die "installing Wine in the chroot failed: see $cache/wine-chroot-apt.log"
    touch "$stamp"
  fi
  mount_chroot
  local prefix_stamp=$root$prefix_in_chroot/.pulse-demo-prefix-complete
  if [ ! -f "$prefix_stamp" ]; then
    say "making the Wine prefix"
    rm -rf --one-file-system "$root$prefix_in_chroot"
    in_chroot wineboot -i >"$cache/wine-prefix.log" 2>&1 || die "wineboot failed: see $cache/wine-prefix.log"
    in_chroot wineserver -w
    touch "$prefix_stamp"
  fi
  wine_version=$(in_chroot wine --version)
  say "Wine: $wine_version (Debian $(cat "$root/etc/debian_version") chroot)"
}

# --- edflib: EDFlib for Windows, for pulse-record.exe ------------------------
edflib_locate() {
  edflib_prefix=$cache/edflib-win-$(key_of "edflib $(sha256sum "$edflib_tar" | cut -d' ' -f1)" "mingw $(mingw_version)")
}

phase_edflib() {
  needs_source "$edflib_tar"
  edflib_locate
  reusing "$edflib_prefix" "EDFlib for Windows" && return
  local work
  work=$(mktemp -d)
  tar -xJf "$edflib_tar" -C "$work" --strip-components=1
  rm -rf "$edflib_prefix"
  mkdir -p "$edflib_prefix/include" "$edflib_prefix/lib"
  "$triplet-gcc-posix" -O2 -D_LARGEFILE64_SOURCE -D_LARGEFILE_SOURCE -c "$work/edflib.c" -o "$work/edflib.o"
  "$triplet-ar" rcs "$edflib_prefix/lib/libedf.a" "$work/edflib.o"
  cp "$work/edflib.h" "$edflib_prefix/include/"
  rm -rf "$work"
  touch "$edflib_prefix/.complete"
  say "EDFlib $(basename "$edflib_tar" .tar.xz) for Windows ready in $edflib_prefix"
}

# --- build: the project, cross-built ----------------------------------------
cross_build=$out/build
package_dir=$out/pulse-demo-windows # the programs as installed, arranged as windeployqt would
tests_dir=$out/tests                 # the Qt Test programs with what they load

# The names the package goes by (window_title, records_folder, last_port), as
# the cross build's configure step wrote them from packaging/Names.cmake.
package_names() {
  local names=$cross_build/packaging/windows/names.sh
  [ -f "$names" ] || die "no $names: run the build phase first"
  window_title='' records_folder='' last_port=''
  # shellcheck source=/dev/null
  . "$names"
}

phase_build() {
  qt_locate
  [ -f "$qt_prefix/.complete" ] || die "no Qt for Windows in $qt_prefix: run the qt phase first"
  edflib_locate
  [ -f "$edflib_prefix/.complete" ] || die "no EDFlib for Windows: run the edflib phase first"
  say "Qt $qt_upstream (Debian $qt_version sources) for Windows; MinGW-w64 GCC" \
    "$(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix) (POSIX threads)," \
    "mingw-w64 runtime $(dpkg-query -W -f='${Version}' mingw-w64-x86-64-dev)"
  local build=$cross_build
  mkdir -p "$out"
  export CCACHE_DIR=$cache/ccache-windows CCACHE_MAXSIZE=1G
  "$qt_prefix/bin/qt-cmake" -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DPULSE_POSIX_TOOLS=OFF -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DEDFLIB_INCLUDE_DIR="$edflib_prefix/include" -DEDFLIB_LIBRARY="$edflib_prefix/lib/libedf.a" \
    -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >"$out/configure.log" 2>&1 ||
    die "configure failed: see $out/configure.log"
  nice -n 10 cmake --build "$build" --parallel "$jobs" >"$out/build.log" 2>&1 || {
    tail -30 "$out/build.log"
    die "the cross build failed: see $out/build.log"
  }
  local warnings
  warnings=$(grep -c 'warning:' "$out/build.log" || true)
  if [ "$warnings" -ne 0 ]; then
    grep 'warning:' "$out/build.log" | head -20
    die "the cross build has $warnings warnings"
  fi
  say "built pulse-demo.exe, pulse-record.exe and $(find "$build" -name 'tst_*.exe' | wc -l) Qt Test programs, no warning"
  rm -rf "$package_dir" "$tests_dir"
  "$repo/packaging/windows/deploy.sh" "$qt_prefix" "$package_dir" \
    "$build/pulse-demo.exe" "$build/pulse-record.exe" "$build/pulse-demo-launcher.exe"
  mapfile -t suites < <(find "$build" -name 'tst_*.exe' | sort)
  "$repo/packaging/windows/deploy.sh" "$qt_prefix" "$tests_dir" --offscreen "${suites[@]}"
  say "deployed the programs to $package_dir ($(du -sh "$package_dir" | cut -f1))"
}

# --- suites: the Qt Test programs under Wine ---------------------------------
winepty=/usr/local/lib/pulse-demo-winepty.so # inside the chroot

# The chroot made, mounted, with the pty helper loaded into every Wine process.
use_chroot() {
  [ -f "$root/.pulse-demo-wine-complete" ] && [ -f "$root$prefix_in_chroot/.pulse-demo-prefix-complete" ] ||
    die "no Wine chroot in $root: run the chroot phase first"
  mount_chroot
  mkdir -p "$root/usr/local/lib"
  gcc -shared -fPIC -O2 -Wall -Wextra -o "$root$winepty" "$repo/tests/support/winepty/winepty.c" -ldl -lpthread
  WINE_PRELOAD=$winepty
  # Wine processes left by an interrupted run would hold the wineserver.
  in_chroot wineserver -k 2>/dev/null || true
}

# wine_wrapper FILE EXE: a program for the test harness that runs EXE under
# Wine from the current folder, COM1..COM<last_port> being the port folder's
# links (resolved when a port is opened, so the simulator's links work as
# they are). After use_chroot and package_names.
wine_wrapper() {
  set_wine_env
  cat >"$1" <<EOF
#!/bin/sh
ports="\${XDG_RUNTIME_DIR:?}/pulse-demo/ports"
for n in \$(seq 1 $last_port); do ln -sfn "\$ports/COM\$n" "$root$prefix_in_chroot/dosdevices/com\$n"; done
exec chroot "$root" /usr/bin/env -i $(printf '%q ' "${wine_env[@]}")DISPLAY="\$DISPLAY" \\
  /bin/sh -c 'cd "\$1" && shift && exec wine "\$@"' sh "\$PWD" '$2' "\$@"
EOF
  chmod 755 "$1"
}

# The Linux simulator, for the sessions under Wine.
simulator=$out/linux/tools/pulse-sensor-sim/pulse-sensor-sim
build_simulator() {
  CCACHE_DIR=$cache/ccache-windows cmake -S "$repo" -B "$out/linux" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >"$out/linux-configure.log" 2>&1 || die "see $out/linux-configure.log"
  CCACHE_DIR=$cache/ccache-windows nice -n 10 cmake --build "$out/linux" --target pulse-sensor-sim \
    --parallel "$jobs" >"$out/linux-build.log" 2>&1 || die "see $out/linux-build.log"
}

# run_session CASE PROGRAM-WRAPPER: one case of tests/windows/wine_session.py;
# its screenshots are kept in screenshots/.
run_session() {
  local artefacts=$out/session status=0
  PYTHONPATH=$repo/tests/support PULSE_E2E_KEEP=1 /usr/bin/python3 -B "$repo/tests/windows/wine_session.py" "$1" \
    --program "$2" --simulator "$simulator" --artefacts "$artefacts" || status=$?
  in_chroot wineserver -k || true
  mkdir -p "$out/screenshots"
  for shot in "$artefacts/$1"/*.png; do
    [ ! -f "$shot" ] || cp "$shot" "$out/screenshots/$1-$(basename "$shot")"
  done
  [ "$status" -eq 0 ] || die "the session $1 under Wine failed: see $artefacts/$1"
}

phase_session() {
  use_chroot
  package_names
  build_simulator
  wine_wrapper "$out/pulse-demo-under-wine" "$package_dir/pulse-demo.exe"
  run_session session "$out/pulse-demo-under-wine"
}

phase_suites() {
  use_chroot
  local results=$out/suite-results passed=0 failed=0 skipped=0 status=0
  rm -rf "$results"
  mkdir -p "$results"
  local exe name line
  for exe in "$tests_dir"/tst_*.exe; do
    name=$(basename "$exe" .exe)
    # Wine hands a Windows program WINEQT_QPA_PLATFORM as QT_QPA_PLATFORM (not
    # QT_QPA_PLATFORM itself), and not its standard output: hence the file.
    in_chroot /bin/sh -c 'cd "$1" && WINEQT_QPA_PLATFORM=offscreen exec wine "$2" -o "$3,txt"' sh \
      "$results" "$exe" "$name.txt" >"$results/$name.wine.log" 2>&1 || true
    line=$(grep -E '^Totals: ' "$results/$name.txt" 2>/dev/null || true)
    if [ -z "$line" ]; then
      say "suite $name under Wine: no result (see $results)"
      status=1
      continue
    fi
    say "suite $name under Wine: ${line#Totals: }"
    read -r p f s <<<"$(sed -E 's/^Totals: ([0-9]+) passed, ([0-9]+) failed, ([0-9]+) skipped.*/\1 \2 \3/' <<<"$line")"
    passed=$((passed + p)) failed=$((failed + f)) skipped=$((skipped + s))
    if [ "$f" -ne 0 ]; then
      grep -E '^(FAIL|   Loc)' "$results/$name.txt" | head -20
      status=1
    fi
  done
  in_chroot wineserver -k || true
  say "suites under Wine: $passed passed, $failed failed, $skipped skipped"
  [ "$status" -eq 0 ] || die "a suite failed under Wine"
}

# --- package: the zip and the installer, installed and started under Wine ----
phase_package() {
  [ -x "$package_dir/pulse-demo.exe" ] || die "nothing deployed in $package_dir: run the build phase first"
  package_names
  local version
  version=$(sed -nE 's/^project\(pulse-demo VERSION ([0-9.]+).*/\1/p' "$repo/CMakeLists.txt")
  local zip=$out/pulse-demo-$version-windows-x64.zip setup=$out/pulse-demo-$version-setup.exe
  rm -f "$zip" "$setup"
  (cd "$package_dir/.." && zip -qr "$zip" "$(basename "$package_dir")")
  # The uninstaller removes exactly what was installed, deepest first.
  local files=$out/installed-files.nsh
  (cd "$package_dir" && find . -type f | sort | sed -E 's|^\./||; s|/|\\|g; s|.*|  Delete "$INSTDIR\\&"|' &&
    find . -mindepth 1 -type d | sort -r | sed -E 's|^\./||; s|/|\\|g; s|.*|  RMDir "$INSTDIR\\&"|') >"$files"
  makensis -V2 -DSOURCE="$package_dir" -DVERSION="$version" -DOUTFILE="$setup" -DICON="$repo/packaging/pulse-demo.ico" \
    -DFILES="$files" "$cross_build/packaging/windows/pulse-demo.nsi" >"$out/makensis.log" 2>&1 ||
    die "makensis failed: see $out/makensis.log"
  say "made $(basename "$zip") ($(du -h "$zip" | cut -f1)) and $(basename "$setup") ($(du -h "$setup" | cut -f1)) in $out"

  use_chroot
  local user=$root$prefix_in_chroot/drive_c/users/root
  local installed=$user/AppData/Local/Programs/pulse-demo
  local link="$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/$window_title.lnk"
  local records=$user/Documents/$records_folder
  rm -rf "$installed" "$records"
  in_chroot wine "$setup" /S /CurrentUser >"$out/install.log" 2>&1 || die "the installer failed: see $out/install.log"
  in_chroot wineserver -w
  [ -x "$installed/pulse-demo.exe" ] && [ -f "$installed/uninstall.exe" ] || die "nothing installed in $installed"
  [ -f "$link" ] || die "no Start menu entry $link"
  in_chroot wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\pulse-demo' /v UninstallString 2>/dev/null |
    grep -q 'uninstall.exe" /CurrentUser' || die "the uninstall entry is missing"
  say "step passed: installed silently for the current user in C:\\users\\root\\AppData\\Local\\Programs\\pulse-demo, Start menu entry and uninstall entry made"

  # The Start menu's launcher makes the records folder and starts the program there.
  # (Without a display the program it starts cannot show a window: it is ended.)
  in_chroot wine 'C:\users\root\AppData\Local\Programs\pulse-demo\pulse-demo-launcher.exe' >"$out/launcher.log" 2>&1 || true
  local i=0
  while [ ! -d "$records" ] && [ "$i" -lt 100 ]; do
    sleep 0.1
    i=$((i + 1))
  done
  in_chroot wineserver -k || true
  [ -d "$records" ] || die "the launcher made no records folder $records"
  say "step passed: the launcher made Documents\\$records_folder"

  build_simulator
  wine_wrapper "$out/installed-pulse-demo-under-wine" 'C:\users\root\AppData\Local\Programs\pulse-demo\pulse-demo.exe'
  run_session installed "$out/installed-pulse-demo-under-wine"

  printf 'a record of an earlier session\n' >"$records/1"
  in_chroot wine 'C:\users\root\AppData\Local\Programs\pulse-demo\uninstall.exe' /S /CurrentUser >"$out/uninstall.log" 2>&1 ||
    die "the uninstaller failed: see $out/uninstall.log"
  in_chroot wineserver -w
  [ ! -e "$installed" ] || die "the uninstaller left $(find "$installed" | head -5)"
  [ ! -e "$link" ] || die "the uninstaller left the Start menu entry"
  [ "$(cat "$records/1")" = 'a record of an earlier session' ] || die "the uninstaller touched the records"
  say "step passed: uninstalled silently; the records in Documents\\$records_folder are kept"

  local machine=$root$prefix_in_chroot/drive_c/Program\ Files/pulse-demo
  local common="$root$prefix_in_chroot/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/$window_title.lnk"
  in_chroot wine "$setup" /S /AllUsers >>"$out/install.log" 2>&1 || die "the installer failed: see $out/install.log"
  in_chroot wineserver -w
  [ -x "$machine/pulse-demo.exe" ] && [ -f "$common" ] || die "nothing installed for all users in $machine"
  in_chroot wine 'C:\Program Files\pulse-demo\uninstall.exe' /S /AllUsers >>"$out/uninstall.log" 2>&1 ||
    die "the uninstaller failed: see $out/uninstall.log"
  in_chroot wineserver -w
  [ ! -e "$machine" ] && [ ! -e "$common" ] || die "the uninstaller left files of the all-users install"
  say "step passed: installed for all users in C:\\Program Files\\pulse-demo and uninstalled, silently"
}

run_phase() {
  local name=$1 start=$SECONDS
  "phase_$name"
  say "phase $name took $((SECONDS - start)) s"
}

phases=("$@")
if [ ${#phases[@]} -eq 0 ]; then
  phases=("${all_phases[@]}")
fi
for p in "${phases[@]}"; do
  declare -F "phase_$p" >/dev/null || die "no phase '$p' (phases: ${all_phases[*]})"
done
total=$SECONDS
for p in "${phases[@]}"; do run_phase "$p"; done
say "all phases passed in $((SECONDS - total)) s"
