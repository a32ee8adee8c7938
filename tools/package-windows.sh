#!/usr/bin/env bash
# Makes the downloadable files of one Windows build in OUTDIR:
#   qelvaro.exe            the program without its debug information, linked to NAME.debug
#   NAME.debug             that debug information (gdb finds it beside the program)
#   README.txt             the text for Windows users, with Windows line ends
#   NAME-setup.exe         the per-user installer
#   NAME.msi               the per-user MSI (tools/package-msi.sh)
# Given a key or signatures to attach (tools/sign-windows.sh), the program, the uninstaller, the
# installer and the MSI are signed as each is made, their signatures written to signatures/, and the
# signed uninstaller, which only setup.exe carries, kept as NAME-uninstall.exe for checking.
# Usage: package-windows.sh OBJCOPY PROGRAM VERSION ARCH(win64|win32) SOURCEDIR OUTDIR
# File times, which the installer carries, come from SOURCE_DATE_EPOCH, else from the last
# commit, so the same sources give the same bytes.
set -euo pipefail

objcopy=$1 program=$2 version=$3 arch=$4 source=$5 out=$6
name="qelvaro-$version-$arch"
sign=$source/tools/sign-windows.sh

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$source" log -1 --format=%ct 2>/dev/null || echo 0)
fi
export SOURCE_DATE_EPOCH

mkdir -p "$out"
rm -f "$out/qelvaro.exe" "$out/$name.debug" "$out/README.txt" "$out/$name-setup.exe" \
  "$out/$name-uninstall.exe" "$out/$name.msi"
rm -rf "$out/signatures"

# objcopy writes the PE time stamp afresh, from SOURCE_DATE_EPOCH when set: 0, as the linker
# leaves it, so that the program's bytes depend on nothing but its sources.
SOURCE_DATE_EPOCH=0 "$objcopy" --only-keep-debug "$program" "$out/$name.debug"
SOURCE_DATE_EPOCH=0 "$objcopy" --strip-all --add-gnu-debuglink="$out/$name.debug" \
  "$program" "$out/qelvaro.exe"
"$sign" "$out/qelvaro.exe" "$name-qelvaro.exe" "$out/signatures"
sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$source/packaging/README.txt" >"$out/README.txt"
chmod 0644 "$out/$name.debug" "$out/README.txt"
chmod 0755 "$out/qelvaro.exe"
touch -d "@$SOURCE_DATE_EPOCH" "$out/qelvaro.exe" "$out/$name.debug" "$out/README.txt"

# makensis makes the uninstaller while it compiles and stores it in setup.exe: it is signed there.
uninstaller=()
if [ "$("$sign" how)" != none ]; then
  finalize="'$sign' '%1' '$name-uninstall.exe' '$out/signatures'"
  uninstaller=("-DSIGN_UNINSTALLER=$finalize && cp '%1' '$out/$name-uninstall.exe'")
fi
log="$out/makensis.log"
if ! makensis -V2 -WX -INPUTCHARSET UTF8 -NOCD \
  "-DVERSION=$version" "-DARCH=$arch" "-DSTAGE=$out" "-DOUTFILE=$out/$name-setup.exe" \
  "${uninstaller[@]}" "$source/packaging/qelvaro.nsi" >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
rm -f "$log"
"$sign" "$out/$name-setup.exe" "$name-setup.exe" "$out/signatures"
touch -d "@$SOURCE_DATE_EPOCH" "$out/$name-setup.exe"

bash "$source/tools/package-msi.sh" "$version" "$arch" "$source" "$out" "$out/$name.msi"
"$sign" "$out/$name.msi" "$name.msi" "$out/signatures"
