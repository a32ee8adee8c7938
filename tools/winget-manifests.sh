#!/usr/bin/env bash
# Writes the winget manifests of a release to DIST/winget/, one package version in three files
# (version, default locale, installer; manifest schema 1.6.0): every installer in DIST, the MSI and
# the NSIS setup of each architecture, for the user's scope, with its SHA-256 and its address
# under URL, the folder the files will be published in.
# Usage: winget-manifests.sh DIST URL VERSION
set -euo pipefail
dist=$1 url=${2%/} version=$3
id=Tarnwell.Qelvaro
schema=1.6.0
out=$dist/winget
mkdir -p "$out"

# KIND: version, defaultLocale or installer; the body goes between the lines all three share.
Manifest() {
  local kind=$1 body=$2
  printf '# yaml-language-server: $schema=https://aka.ms/winget-manifest.%s.%s.schema.json\n' \
    "$kind" "$schema"
  printf 'PackageIdentifier: %s\nPackageVersion: %s\n%s\n' "$id" "$version" "$body"
  printf 'ManifestType: %s\nManifestVersion: %s\n' "$kind" "$schema"
}

# winget tells an installed copy by its product code: the MSI's own, the name of the NSIS
# installer's Add/Remove Programs key (packaging/qelvaro.nsi).
ProductCode() {
  case $1 in
    *.msi)
      msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" {print $2}'
      ;;
    *) echo Qelvaro ;;
  esac
}

Installer() {
  local file=$1
  local architecture=x86 type=nullsoft
  [[ $file == *-win64* ]] && architecture=x64
  [[ $file == *.msi ]] && type=msi
  cat <<EOF
- Architecture: $architecture
  InstallerType: $type
  Scope: user
  InstallerUrl: $url/$(basename "$file")
  InstallerSha256: $(sha256sum <"$file" | cut -d' ' -f1 | tr a-f A-F)
  ProductCode: '$(ProductCode "$file")'
EOF
}

Manifest version "DefaultLocale: en-US" >"$out/$id.yaml"
Manifest defaultLocale "PackageLocale: en-US
Publisher: Tarnwell
PackageName: Qelvaro
License: Proprietary
Copyright: Copyright (c) 2026 Tarnwell
ShortDescription: Type Unified Canadian Aboriginal Syllabics into any program from the keyboard
Moniker: qelvaro
Tags:
- syllabics
- keyboard" >"$out/$id.locale.en-US.yaml"
shopt -s nullglob
installers=$(for file in "$dist"/*-setup.exe "$dist"/*.msi; do Installer "$file"; done)
Manifest installer "UpgradeBehavior: install
Installers:
$installers" >"$out/$id.installer.yaml"
echo "winget manifests: $(cd "$dist" && echo winget/*)"
