#!/usr/bin/env bash
# Runs the README's test command (scripts/test.sh) on Debian 13 (Qt 6.8), in a
# chroot, from a clean copy of this repository's HEAD (committed work only;
# the working tree and its build folders stay out). Exits with the test
# command's status. Needs root (debootstrap, chroot, mount).
#
#   scripts/test-debian13.sh
#   PULSE_DEBIAN13_CHROOT=/some/dir scripts/test-debian13.sh   # another cache
#
# The chroot is made once with debootstrap from Debian's archive and kept
# (default /var/cache/pulse-demo/debian13-chroot), with its apt lists,
# installed packages and a compiler cache, so later runs start at once. A
# stamp file marks it complete; without the stamp it is made again. Delete the
# folder to start from scratch.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
root=${PULSE_DEBIAN13_CHROOT:-/var/cache/pulse-demo/debian13-chroot}
mirror=http://deb.debian.org/debian
suite=trixie
stamp=$root/.pulse-demo-chroot-complete
work=/root/pulse-demo # the checkout's place inside the chroot

say() { echo "== test-debian13: $*"; }

if [ "$(id -u)" -ne 0 ]; then
  echo "test-debian13: needs root (debootstrap, chroot and mount); try: sudo $0" >&2
  exit 2
fi
case "$root" in
  /?*) [ "$(realpath -m "$root")" != / ] || { echo "test-debian13: refusing / as the chroot" >&2; exit 2; } ;;
  *) echo "test-debian13: PULSE_DEBIAN13_CHROOT must be an absolute path" >&2; exit 2 ;;
esac
if ! git -C "$repo" rev-parse --verify -q HEAD >/dev/null; then
  echo "test-debian13: $repo is not a git checkout with a commit to copy" >&2
  exit 2
fi

# Mount points under the chroot, innermost last; unmounted in reverse order.
mounted=()
unmount_all() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" || true
  done
  mounted=()
}
trap unmount_all EXIT
trap 'exit 130' INT TERM

# Anything still mounted below the chroot (a run that was killed, a mount a
# test left behind) is unmounted before the folder is touched: removing a
# folder with /dev or /sys bound into it would remove the host's files.
unmount_leftovers() {
  local points
  points=$(findmnt -rn -o TARGET | awk -v r="$root/" 'index($0, r) == 1' | sort -r)
  if [ -n "$points" ]; then
    say "unmounting leftovers of an earlier run: $(echo $points)"
    while read -r p; do umount "$p" 2>/dev/null || umount -l "$p"; done <<<"$points"
  fi
}

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
    say "installing debootstrap"
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap debian-archive-keyring
  fi
  local args=(--variant=minbase --include=ccache)
  local keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  if [ -f "$keyring" ]; then args+=(--keyring="$keyring"); fi
  # An older debootstrap (Ubuntu LTS) may not know trixie by name; its sid
  # script makes the same kind of system.
  local script=()
  if [ ! -e "/usr/share/debootstrap/scripts/$suite" ]; then
    script=(/usr/share/debootstrap/scripts/sid)
  fi
  if [ -e "$root" ]; then
    say "removing the incomplete chroot in $root"
    rm -rf --one-file-system "$root"
  fi
  say "making a Debian 13 ($suite) chroot in $root from $mirror (downloads about 100 MB; once)"
  mkdir -p "$(dirname "$root")"
  debootstrap "${args[@]}" "$suite" "$root" "$mirror" "${script[@]}"
  # No services start inside the chroot when packages are installed.
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod 755 "$root/usr/sbin/policy-rc.d"
  echo "deb $mirror $suite main" >"$root/etc/apt/sources.list"
  # Keep downloaded packages out of the cache once installed; the lists stay.
  echo 'APT::Keep-Downloaded-Packages "false";' >"$root/etc/apt/apt.conf.d/90pulse-demo"
  touch "$stamp"
  say "chroot complete"
}

unmount_leftovers
if [ -f "$stamp" ]; then
  say "reusing the Debian 13 chroot in $root"
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

say "running scripts/test.sh inside the chroot (Debian $(cat "$root/etc/debian_version"))"
status=0
# A clean environment; the compiler cache kept in the chroot (CMake takes the
# launcher from the environment) lets a later run rebuild in seconds.
chroot "$root" /usr/bin/env -i \
  HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  LANG=C.UTF-8 TERM="${TERM:-dumb}" \
  CCACHE_DIR=/var/cache/ccache CCACHE_MAXSIZE=1G CMAKE_CXX_COMPILER_LAUNCHER=ccache \
  /bin/bash -c "cd $work && scripts/test.sh" || status=$?

unmount_all
if [ "$status" -eq 0 ]; then
  say "passed on Debian 13"
else
  say "FAILED on Debian 13 (exit status $status)"
fi
exit "$status"
