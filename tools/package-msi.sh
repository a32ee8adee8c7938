#!/usr/bin/env bash
# Makes the per-user MSI from what tools/package-windows.sh staged (qelvaro.exe, README.txt).
# Usage: package-msi.sh VERSION ARCH(win64|win32) SOURCEDIR STAGEDIR MSIFILE
# wixl stamps the time it runs and a random package code into the package: the time comes from
# SOURCE_DATE_EPOCH (else the last commit), the package code from what the package holds, so the
# same sources give the same bytes.
set -euo pipefail

version=$1 arch=$2 source=$3 stage=$4 msi=$5
# How each version finds the older one it replaces: never to change.
upgrade_code=08A5FAFE-5AE0-404A-891B-4B4740C933E2
: "${SOURCE_DATE_EPOCH:=$(git -C "$source" log -1 --format=%ct 2>/dev/null || echo 0)}"
export TZ=UTC

# The same name gives the same GUID (a name-based UUID under the upgrade code).
GuidFor() {
  python3 -c 'import sys, uuid; print(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2]))' \
    "$upgrade_code" "$1" | tr a-f A-F
}

# Runs wixl or msibuild with the clock stopped at SOURCE_DATE_EPOCH, for the times they stamp.
# wixl warns about what it does not know and goes on: anything said is a failure.
RunAtSourceTime() {
  local said
  said=$(faketime -f "$(date -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')" "$@" 2>&1) &&
    [ -z "$said" ] && return 0
  echo "$said" >&2
  return 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# wixl finds files by names relative to where it runs; its cabinet keeps each file's time.
cp "$stage/qelvaro.exe" "$stage/README.txt" "$work/"
cp "$source/resources/icon_on.ico" "$work/qelvaro.ico"
touch -d "@$SOURCE_DATE_EPOCH" "$work"/*
# The platform as wixl names it, and as the package's summary does.
[ "$arch" = win64 ] && platform=(x64 x64) || platform=(x86 Intel)
package_code=$(GuidFor "$version $arch $(cat "$work/qelvaro.exe" "$work/README.txt" \
  "$work/qelvaro.ico" "$source/packaging/qelvaro.wxs" | sha256sum)")

(
  cd "$work"
  RunAtSourceTime wixl -a "${platform[0]}" -D "Version=$version" \
    -D "ProductCode=$(GuidFor "$version")" -D "UpgradeCode=$upgrade_code" \
    -o package.msi "$source/packaging/qelvaro.wxs"
  # wixl 0.101 cannot write an action that runs a program from the Binary table (type 2): it
  # writes one that runs the program a property names (50), made here type 2, its exit code
  # ignored (+64). -s must come last: msibuild reads no option after it.
  RunAtSourceTime msibuild package.msi \
    -q "UPDATE CustomAction SET Type = 66 WHERE Action = 'ExitRunningQelvaro'" \
    -s "Qelvaro $version" Tarnwell "${platform[1]};1033" "{$package_code}"
)
chmod 0644 "$work/package.msi"
touch -d "@$SOURCE_DATE_EPOCH" "$work/package.msi"
mv "$work/package.msi" "$msi"
