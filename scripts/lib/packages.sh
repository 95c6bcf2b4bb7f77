# shellcheck shell=bash
# Sourced by the scripts that install Debian packages. Needs say().

# install_missing PACKAGE...: installs those of the packages that dpkg does
# not have installed, without their recommendations; through sudo when not
# run as root.
install_missing() {
  local p missing=()
  for p in "$@"; do
    case "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" in
      *'install ok installed'*) ;;
      *) missing+=("$p") ;;
    esac
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  say "installing ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
