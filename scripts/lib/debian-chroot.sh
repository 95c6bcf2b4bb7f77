# shellcheck shell=bash
# Sourced by the scripts that make Debian chroots. Needs $root (the chroot),
# say() and scripts/lib/chroot-mounts.sh (sourced before this file).

# debian_mirror [APT-DIR]: prints the Debian archive to make chroots from:
# PULSE_DEBIAN_MIRROR when set, otherwise the first Debian archive that the
# host's apt sources name (APT-DIR, default /etc/apt: sources.list, then
# sources.list.d/*.list and *.sources in apt's order). A Debian archive is a
# "deb" entry whose address has a path segment named "debian", as a mirror
# or a snapshot of the archive has, and debian-security does not. Fails,
# saying so, when there is none.
# shellcheck disable=SC2120 # APT-DIR is for trying it on other files
debian_mirror() {
  if [ -n "${PULSE_DEBIAN_MIRROR:-}" ]; then
    echo "${PULSE_DEBIAN_MIRROR%/}"
    return 0
  fi
  local etc=${1:-/etc/apt} file uri path
  local lists=("$etc/sources.list")
  for file in "$etc"/sources.list.d/*; do
    case "$file" in *.list | *.sources) lists+=("$file") ;; esac
  done
  for file in "${lists[@]}"; do
    [ -r "$file" ] || continue
    while read -r uri; do
      path=${uri#*://}
      path=/${path#*/}
      if [[ "$path" =~ /debian(/|$) ]]; then
        echo "${uri%/}"
        return 0
      fi
    done < <(case "$file" in
      *.sources) debian_sources_uris <"$file" ;;
      *) debian_list_uris <"$file" ;;
    esac)
  done
  echo "no Debian archive in the host's apt sources ($etc/sources.list, $etc/sources.list.d);" \
    "set PULSE_DEBIAN_MIRROR to the address of one" >&2
  return 1
}

# The addresses of the "deb" entries of a one-line-style sources file, in order.
debian_list_uris() {
  awk '$1 == "deb" {
    i = 2
    if ($2 ~ /^\[/) { # options: [arch=amd64 signed-by=...]
      while (i <= NF && $i !~ /\]$/) i++
      i++
    }
    if (i <= NF) print $i
  }'
}

# The addresses of the enabled "deb" entries of a deb822-style sources file, in order.
debian_sources_uris() {
  awk '
    function flush(  n, i, u) {
      if (types ~ /(^| )deb( |$)/ && tolower(enabled) != "no") {
        n = split(uris, u, " ")
        for (i = 1; i <= n; i++) print u[i]
      }
      types = ""; uris = ""; enabled = ""; field = ""
    }
    /^#/ { next }
    /^[ \t]*$/ { flush(); next }
    /^[ \t]/ { if (field == "uris") uris = uris " " $0; next } # a continued field
    {
      colon = index($0, ":")
      field = tolower(substr($0, 1, colon - 1))
      value = substr($0, colon + 1)
      gsub(/[ \t]+/, " ", value)
      sub(/^ /, "", value)
      sub(/ $/, "", value)
      if (field == "types") types = value
      else if (field == "uris") uris = value
      else if (field == "enabled") enabled = value
    }
    END { flush() }'
}

# make_debian_chroot SUITE MIRROR [DEBOOTSTRAP-OPTION...]: a minimal Debian
# SUITE in $root from MIRROR, with apt pointed at MIRROR, ready for apt-get
# inside: no service starts when a package is installed, and downloaded
# packages are not kept. Whatever was in $root is removed first. Each step is
# checked, so that it fails whole even where set -e is off (in `|| die`).
make_debian_chroot() {
  local suite=$1 mirror=$2
  shift 2
  local args=(--variant=minbase "$@")
  local keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  if [ -f "$keyring" ]; then args+=(--keyring="$keyring"); fi
  # An older debootstrap (Ubuntu LTS) may not know a newer suite by name; its
  # sid script makes the same kind of system.
  local script=()
  if [ ! -e "/usr/share/debootstrap/scripts/$suite" ]; then
    script=(/usr/share/debootstrap/scripts/sid)
  fi
  unmount_leftovers || return
  if [ -e "$root" ]; then
    say "removing the incomplete chroot in $root"
    rm -rf --one-file-system "$root" || return
  fi
  mkdir -p "$(dirname "$root")" || return
  # The lock that test-debian.sh holds on fd 9 is not handed down.
  debootstrap "${args[@]}" "$suite" "$root" "$mirror" "${script[@]}" 9>&- || return
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d" || return
  chmod 755 "$root/usr/sbin/policy-rc.d" || return
  echo "deb $mirror $suite main" >"$root/etc/apt/sources.list" || return
  # Keep downloaded packages out of the cache once installed; the lists stay.
  # The mirror may be a snapshot whose Release files are past their
  # Valid-Until date (sid's and testing's carry one): apt still checks the
  # signatures, only not the date.
  printf '%s\n' 'APT::Keep-Downloaded-Packages "false";' 'Acquire::Check-Valid-Until "false";' \
    >"$root/etc/apt/apt.conf.d/90pulse-demo" || return
  cp -L /etc/resolv.conf "$root/etc/resolv.conf"
}
