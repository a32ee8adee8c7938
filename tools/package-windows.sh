#!/usr/bin/env bash
# Makes the downloadable files of one Windows build in OUTDIR:
#   qelvaro.exe            the program without its debug information, linked to NAME.debug
#   NAME.debug             that debug information (gdb finds it beside the program)
#   README.txt             the text for Windows users, with Windows line ends
#   NAME-setup.exe         the per-user installer
# Usage: package-windows.sh OBJCOPY PROGRAM VERSION ARCH(win64|win32) SOURCEDIR OUTDIR
# File times, which the installer carries, come from SOURCE_DATE_EPOCH, else from the last
# commit, so the same sources give the same bytes.
set -euo pipefail

objcopy=$1 program=$2 version=$3 arch=$4 source=$5 out=$6
name="qelvaro-$version-$arch"

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$source" log -1 --format=%ct 2>/dev/null || echo 0)
fi
export SOURCE_DATE_EPOCH

mkdir -p "$out"
rm -f "$out/qelvaro.exe" "$out/$name.debug" "$out/README.txt" "$out/$name-setup.exe"

# objcopy writes the PE time stamp afresh, from SOURCE_DATE_EPOCH when set: 0, as the linker
# leaves it, so that the program's bytes depend on nothing but its sources.
SOURCE_DATE_EPOCH=0 "$objcopy" --only-keep-debug "$program" "$out/$name.debug"
SOURCE_DATE_EPOCH=0 "$objcopy" --strip-all --add-gnu-debuglink="$out/$name.debug" \
  "$program" "$out/qelvaro.exe"
sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$source/packaging/README.txt" >"$out/README.txt"
chmod 0644 "$out/$name.debug" "$out/README.txt"
chmod 0755 "$out/qelvaro.exe"
touch -d "@$SOURCE_DATE_EPOCH" "$out/qelvaro.exe" "$out/$name.debug" "$out/README.txt"

log="$out/makensis.log"
if ! makensis -V2 -WX -INPUTCHARSET UTF8 -NOCD \
  "-DVERSION=$version" "-DARCH=$arch" "-DSTAGE=$out" "-DOUTFILE=$out/$name-setup.exe" \
  "$source/packaging/qelvaro.nsi" >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
rm -f "$log"
touch -d "@$SOURCE_DATE_EPOCH" "$out/$name-setup.exe"
