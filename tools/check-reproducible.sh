#!/usr/bin/env bash
# Builds the released files twice from clean, from two copies of the sources in different places
# (paths of different names and lengths), and compares them byte for byte: the program, the
# program without its debug information, the debug information, the installer and the MSI.
# Usage: tools/check-reproducible.sh [x86_64] [i686]   (both when none is named)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
architectures=("$@")
[ ${#architectures[@]} -eq 0 ] && architectures=(x86_64 i686)

work=$(mktemp -d "${TMPDIR:-/tmp}/qelvaro-reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT
copies=("$work/a/qelvaro" "$work/second-build/somewhere/much/deeper/src")

# One time for both builds; any time will do as long as it is the same.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)
fi
export SOURCE_DATE_EPOCH
# Signatures differ from signing to signing: the unsigned bytes are the ones to compare.
unset "${!QELVARO_SIGN_@}"

for copy in "${copies[@]}"; do
  mkdir -p "$copy"
  tar -C "$root" --exclude=./.git --exclude=./build --exclude=./dist --exclude=./out -cf - . |
    tar -C "$copy" -xf -
done

status=0
for architecture in "${architectures[@]}"; do
  preset=release-$architecture
  for copy in "${copies[@]}"; do
    (
      cd "$copy"
      cmake --preset "$preset" >"$copy/$preset.log" 2>&1 &&
        cmake --build --preset "$preset" -j"$(nproc)" --target qelvaro_package \
          >>"$copy/$preset.log" 2>&1
    ) || {
      cat "$copy/$preset.log"
      echo "FAILED: $preset build in $copy"
      exit 1
    }
  done

  first="${copies[0]}/build/$preset"
  second="${copies[1]}/build/$preset"
  for file in bin/qelvaro.exe package/qelvaro.exe package/*.debug package/*-setup.exe \
    package/*.msi; do
    for path in "$first"/$file; do
      relative=${path#"$first/"}
      one=$(sha256sum <"$first/$relative" | cut -d' ' -f1)
      two=$(sha256sum <"$second/$relative" | cut -d' ' -f1)
      if [ "$one" = "$two" ]; then
        echo "same     $preset/$relative $one"
      else
        echo "DIFFERENT $preset/$relative $one $two"
        cmp -l "$first/$relative" "$second/$relative" | head -n 5 || true
        status=1
      fi
    done
  done
done
exit $status
