#!/usr/bin/env bash
# Arranges Windows programs with everything they load, as windeployqt would
# (the cross build has none): the programs, the Qt DLLs they import, the
# platform and style plugins, the MinGW runtime DLLs, qt.conf, the Chinese
# translation of Qt's own words and the window's faces in fonts/.
#
#   packaging/windows/deploy.sh QT_PREFIX DEST [--offscreen] PROGRAM.exe...
#
# --offscreen adds Qt's offscreen platform (for the Qt Test programs).
set -euo pipefail

[ $# -ge 3 ] || {
  echo "usage: $0 QT_PREFIX DEST [--offscreen] PROGRAM.exe..." >&2
  exit 2
}
qt=$1
dest=$2
shift 2
platforms=(qwindows)
if [ "${1:-}" = --offscreen ]; then
  platforms+=(qoffscreen)
  shift
fi
triplet=x86_64-w64-mingw32
# Where the DLLs come from, searched in this order.
search=("$qt/bin" "$(dirname "$("$triplet-g++-posix" -print-libgcc-file-name)")" "/usr/$triplet/lib")
fonts=(/usr/share/fonts/truetype/arphic/ukai.ttc /usr/share/fonts/truetype/arphic/uming.ttc
  /usr/share/fonts/truetype/wqy/wqy-microhei.ttc /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
  /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf)

mkdir -p "$dest/platforms" "$dest/styles" "$dest/fonts" "$dest/translations"
queue=()
for exe in "$@"; do
  cp "$exe" "$dest/"
  queue+=("$dest/$(basename "$exe")")
done
for p in "${platforms[@]}"; do
  cp "$qt/plugins/platforms/$p.dll" "$dest/platforms/"
  queue+=("$dest/platforms/$p.dll")
done
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$dest/styles/"
queue+=("$dest/styles/qwindowsvistastyle.dll")

# Every DLL that a queued file imports and that is not Windows' own, found
# in the search folders and copied beside the programs; then its imports.
declare -A seen=()
while [ ${#queue[@]} -gt 0 ]; do
  file=${queue[0]}
  queue=("${queue[@]:1}")
  while read -r dll; do
    key=${dll,,}
    [ -z "${seen[$key]:-}" ] || continue
    seen[$key]=1
    for dir in "${search[@]}"; do
      if [ -f "$dir/$dll" ]; then
        cp "$dir/$dll" "$dest/"
        queue+=("$dest/$dll")
        break
      fi
    done
  done < <("$triplet-objdump" -p "$file" | awk '/DLL Name:/ {print $3}')
done

# Qt looks for plugins and translations beside the programs.
printf '[Paths]\nPrefix = .\nPlugins = .\nTranslations = translations\n' >"$dest/qt.conf"
for qm in qtbase_zh_CN.qm qtserialport_zh_CN.qm; do
  [ ! -f "/usr/share/qt6/translations/$qm" ] || cp "/usr/share/qt6/translations/$qm" "$dest/translations/"
done
for f in "${fonts[@]}"; do
  [ -f "$f" ] || {
    echo "deploy: no $f (install fonts-arphic-ukai, fonts-arphic-uming, fonts-wqy-microhei, fonts-dejavu-core)" >&2
    exit 1
  }
  cp "$f" "$dest/fonts/"
done
# The faces' licences travel with them.
for doc in fonts-arphic-ukai fonts-arphic-uming fonts-wqy-microhei fonts-dejavu-core; do
  [ ! -f "/usr/share/doc/$doc/copyright" ] || cp "/usr/share/doc/$doc/copyright" "$dest/fonts/$doc.copyright.txt"
done
"$triplet-strip" --strip-unneeded "$dest"/*.exe "$dest"/*.dll "$dest"/*/*.dll
