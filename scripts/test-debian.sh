#!/usr/bin/env bash
# Runs the README's test command (scripts/test.sh) on another Debian suite, in
# a chroot, from a clean copy of this repository's HEAD (committed work only;
# the working tree and its build folders stay out). Exits with the test
# command's status. Needs root (debootstrap, chroot, mount).
#
#   scripts/test-debian.sh trixie             # Debian 13, Qt 6.8
#   scripts/test-debian.sh sid                # Debian unstable, Qt 6.11
#   scripts/test-debian.sh --prepare sid      # only make the chroot and install the packages
#   PULSE_CHROOT=/some/dir scripts/test-debian.sh sid         # the chroot elsewhere
#
# Each suite's chroot is made once with debootstrap from the Debian archive
# that the host's apt sources name (PULSE_DEBIAN_MIRROR=URL names another) and
# kept (default /var/cache/pulse-demo/debian-SUITE-chroot), with its apt
# lists, installed packages and a compiler cache, so later runs start at once.
# A stamp file marks it complete; without the stamp it is made again. Delete
# the folder to start from scratch. Two runs on the same chroot wait for each
# other (a lock file beside it), so --prepare can run in the background while
# something else builds.
set -euo pipefail

usage() {
  echo "usage: $0 [--prepare] SUITE   (SUITE: trixie, sid, or another Debian suite)" >&2
  exit 2
}
prepare=false
if [ "${1:-}" = --prepare ]; then
  prepare=true
  shift
fi
[ $# -eq 1 ] || usage
suite=$1
case "$suite" in
  [a-z]*) [[ "$suite" =~ ^[a-z][a-z0-9-]*$ ]] || usage ;;
  *) usage ;;
esac

repo=$(cd "$(dirname "$0")/.." && pwd)
root=${PULSE_CHROOT:-/var/cache/pulse-demo/debian-$suite-chroot}
stamp=$root/.pulse-demo-chroot-complete
work=/root/pulse-demo # the checkout's place inside the chroot

say() { echo "== test-debian $suite: $*"; }

if [ "$(id -u)" -ne 0 ]; then
  echo "test-debian: needs root (debootstrap, chroot and mount); try: sudo $0 $*" >&2
  exit 2
fi
case "$root" in
  /?*) [ "$(realpath -m "$root")" != / ] || { echo "test-debian: refusing / as the chroot" >&2; exit 2; } ;;
  *) echo "test-debian: PULSE_CHROOT must be an absolute path" >&2; exit 2 ;;
esac
if ! git -C "$repo" rev-parse --verify -q HEAD >/dev/null; then
  echo "test-debian: $repo is not a git checkout with a commit to copy" >&2
  exit 2
fi

# One run per chroot at a time: a second one would unmount the first one's
# /proc and /dev, or remove its half-made chroot.
mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
if ! flock -n 9; then
  say "waiting for another run on $root to finish"
  flock 9
fi

# shellcheck source=scripts/lib/chroot-mounts.sh
. "$repo/scripts/lib/chroot-mounts.sh"
# shellcheck source=scripts/lib/debian-chroot.sh
. "$repo/scripts/lib/debian-chroot.sh"
# shellcheck source=scripts/lib/packages.sh
. "$repo/scripts/lib/packages.sh"

bind() { # bind SOURCE TARGET-INSIDE-CHROOT
  mkdir -p "$root$2"
  mount --bind "$1" "$root$2"
  mounted+=("$root$2")
  # Where the host's mounts are shared (systemd), mounts made below the bind
  # would otherwise appear on the host's own /dev too.
  mount --make-slave "$root$2"
}

make_chroot() {
  if ! command -v debootstrap >/dev/null; then
    install_missing debootstrap debian-archive-keyring
  fi
  local mirror
  mirror=$(debian_mirror) || exit 2
  say "making a Debian $suite chroot in $root from $mirror (downloads about 100 MB; once)"
  make_debian_chroot "$suite" "$mirror" --include=ccache
  touch "$stamp"
  say "chroot complete"
}

unmount_leftovers
if [ -f "$stamp" ]; then
  say "reusing the chroot in $root"
else
  make_chroot
fi

say "copying a clean checkout of $(git -C "$repo" rev-parse --short HEAD) to $work"
rm -rf --one-file-system "$root$work"
mkdir -p "$root$work"
git -C "$repo" archive HEAD | tar -x -C "$root$work"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"

say "mounting /proc, /sys, /dev, /dev/pts, /dev/shm into the chroot"
mkdir -p "$root/proc"
mount -t proc proc "$root/proc"
mounted+=("$root/proc")
bind /sys /sys
bind /dev /dev
bind /dev/pts /dev/pts
# /dev/shm is a tmpfs of its own, not part of the /dev bind.
mkdir -p "$root/dev/shm"
mount -t tmpfs -o mode=1777,nosuid,nodev shm "$root/dev/shm"
mounted+=("$root/dev/shm")

if $prepare; then
  what=scripts/install-deps.sh
else
  what=scripts/test.sh
fi
debian="Debian $suite ($(cat "$root/etc/debian_version"))"
say "running $what inside the chroot, $debian"
status=0
# A clean environment; the compiler cache kept in the chroot (CMake takes the
# launcher from the environment) lets a later run rebuild in seconds.
chroot "$root" /usr/bin/env -i \
  HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  LANG=C.UTF-8 TERM="${TERM:-dumb}" \
  CCACHE_DIR=/var/cache/ccache CCACHE_MAXSIZE=1G CMAKE_CXX_COMPILER_LAUNCHER=ccache \
  /bin/bash -c "cd $work && $what" 9>&- || status=$?

unmount_all
if [ "$status" -eq 0 ]; then
  say "$what passed on $debian"
else
  say "$what FAILED on $debian (exit status $status)"
fi
exit "$status"
