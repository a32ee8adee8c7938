#!/usr/bin/env bash
# Signs one Windows file in place, at the point of the packaging where it is made, so that what
# carries it (the zip, setup.exe, the MSI) carries it signed. Either
#   - with a key: QELVARO_SIGN_PFX and QELVARO_SIGN_PASSWORD (a PKCS#12 file), or
#     QELVARO_SIGN_PKCS11_MODULE, QELVARO_SIGN_PKCS11_KEY (a pkcs11: URI) and QELVARO_SIGN_CERT
#     (a token; its PIN in QELVARO_SIGN_PASSWORD or the URI's pin-value); with an RFC 3161 time
#     stamp from QELVARO_SIGN_TIMESTAMP_URL when that is set;
#   - or with QELVARO_SIGN_ATTACH=folder: attaches folder/NAME.pem, a signature published with a
#     release, so that a rebuild of the same commit gives the released bytes.
# Either way the signature is then written, detached, to SIGNATURES/NAME.pem.
# Usage: sign-windows.sh FILE NAME SIGNATURES
#        sign-windows.sh how      prints "key", "attach" or "none", or fails on half a setting
# Only commands and options that osslsigncode 2.5, Debian 12's, knows.
set -euo pipefail

How() {
  if [ -n "${QELVARO_SIGN_ATTACH:-}" ]; then
    if [ -n "${QELVARO_SIGN_PFX:-}${QELVARO_SIGN_PKCS11_MODULE:-}" ]; then
      echo "QELVARO_SIGN_ATTACH and a key: give one or the other." >&2
      return 1
    fi
    echo attach
  elif [ -n "${QELVARO_SIGN_PFX:-}" ]; then
    : "${QELVARO_SIGN_PASSWORD?QELVARO_SIGN_PFX needs QELVARO_SIGN_PASSWORD}"
    echo key
  elif [ -n "${QELVARO_SIGN_PKCS11_MODULE:-}" ]; then
    : "${QELVARO_SIGN_PKCS11_KEY:?QELVARO_SIGN_PKCS11_MODULE needs QELVARO_SIGN_PKCS11_KEY}"
    : "${QELVARO_SIGN_CERT:?QELVARO_SIGN_PKCS11_MODULE needs QELVARO_SIGN_CERT}"
    echo key
  else
    echo none
  fi
}

# osslsigncode's report, then what failed; fails.
Failed() {
  cat "$log" >&2
  echo "$1" >&2
  return 1
}

# osslsigncode writes a new file; the old one is replaced only once that has succeeded.
SignWithKey() {
  local file=$1
  local arguments=(-h sha256 -n Qelvaro)
  if [ -n "${QELVARO_SIGN_PFX:-}" ]; then
    arguments+=(-pkcs12 "$QELVARO_SIGN_PFX")
  else
    # Without -pkcs11engine osslsigncode loads OpenSSL's "pkcs11" engine by name, which
    # libengine-pkcs11-openssl installs; 2.5 fails to load it given its path.
    arguments+=(-pkcs11module "$QELVARO_SIGN_PKCS11_MODULE" -key "$QELVARO_SIGN_PKCS11_KEY"
      -certs "$QELVARO_SIGN_CERT")
  fi
  [ -n "${QELVARO_SIGN_TIMESTAMP_URL:-}" ] && arguments+=(-ts "$QELVARO_SIGN_TIMESTAMP_URL")
  # The password through a pipe, not the command line that any process can read.
  [ -n "${QELVARO_SIGN_PASSWORD+set}" ] && arguments+=(-readpass /dev/stdin)
  printf %s "${QELVARO_SIGN_PASSWORD:-}" |
    osslsigncode sign "${arguments[@]}" -in "$file" -out "$file.signed" >"$log" 2>&1 ||
    Failed "Signing $file failed."
  mv "$file.signed" "$file"
}

AttachSignature() {
  local file=$1 signature=$2
  local mismatch='Calculated (message digest|DigitalSignature).*MISMATCH'
  [ -s "$signature" ] || {
    echo "No signature $signature for $file." >&2
    return 1
  }
  # osslsigncode fails an attach also when this machine does not trust the certificate, which a
  # rebuilder's need not: what must hold is that the digest signed is the file's (its report
  # names it "message digest" in a program, "DigitalSignature" in an MSI).
  osslsigncode attach-signature -sigin "$signature" -in "$file" -out "$file.signed" \
    >"$log" 2>&1 || true
  if [ ! -s "$file.signed" ] || grep -q -E "$mismatch" "$log"; then
    Failed "$signature is not the signature of $file: not built from the same commit?"
  fi
  mv "$file.signed" "$file"
}

# PEM, as DER from extract-signature differs between osslsigncode 2.5 and later versions.
DetachSignature() {
  local file=$1 signature=$2
  mkdir -p "$(dirname "$signature")"
  osslsigncode extract-signature -pem -in "$file" -out "$signature" >"$log" 2>&1 ||
    Failed "No signature to detach from $file."
}

if [ "${1:-}" = how ]; then
  How
  exit
fi
file=$1 name=$2 signatures=$3
how=$(How)
[ "$how" = none ] && exit 0
log=$(mktemp)
trap 'rm -f "$log" "$file.signed"' EXIT
case $how in
  key) SignWithKey "$file" ;;
  attach) AttachSignature "$file" "$QELVARO_SIGN_ATTACH/$name.pem" ;;
esac
DetachSignature "$file" "$signatures/$name.pem"
