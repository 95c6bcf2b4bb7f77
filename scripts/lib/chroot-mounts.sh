# Sourced by the scripts that test in a chroot. Needs $root (the chroot) and
# say(). Mount points are added to `mounted`, innermost last, and unmounted in
# reverse order when the script ends, however it ends.
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
    say "unmounting leftovers of an earlier run below $root"
    while read -r p; do umount "$p" 2>/dev/null || umount -l "$p"; done <<<"$points"
  fi
}
