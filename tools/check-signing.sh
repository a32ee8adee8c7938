#!/usr/bin/env bash
# Signs the Windows files of ./release's builds as a maintainer's key would, with a throwaway
# self-signed certificate: once from a PKCS#12 file, with a time stamp from a throwaway time-stamp
# server on this machine, and once from a SoftHSM token through PKCS#11. osslsigncode must accept
# every signature against that certificate, and the unsigned files with those signatures attached,
# as a rebuilder attaches them, must be the signed ones byte for byte. Only the packaging runs
# again, on the programs already built, into folders of its own.
# Usage: tools/check-signing.sh [x86_64] [i686]   (both when none is named)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
architectures=("$@")
[ ${#architectures[@]} -eq 0 ] && architectures=(x86_64 i686)
# The maintainer's settings are not this check's.
unset "${!QELVARO_SIGN_@}"

work=$(mktemp -d "${TMPDIR:-/tmp}/qelvaro-signing.XXXXXX")
server=
trap '[ -z "$server" ] || kill "$server"; rm -rf "$work"' EXIT

# A self-signed certificate for KIND (codeSigning or timeStamping): NAME.pem and NAME.key.
MakeCertificate() {
  local name=$1 kind=$2
  openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Qelvaro throwaway $kind" \
    -addext keyUsage=critical,digitalSignature -addext "extendedKeyUsage=critical,$kind" \
    -keyout "$work/$name.key" -out "$work/$name.pem" 2>/dev/null
}

MakePfx() {
  openssl pkcs12 -export -inkey "$work/signer.key" -in "$work/signer.pem" \
    -passout pass:throwaway -out "$work/signer.pfx"
}

# A token of its own holding the same key.
MakeToken() {
  export SOFTHSM2_CONF=$work/softhsm2.conf
  mkdir "$work/tokens"
  echo "directories.tokendir = $work/tokens" >"$SOFTHSM2_CONF"
  softhsm2-util --init-token --free --label qelvaro --pin 1234 --so-pin 12345678 >/dev/null
  openssl pkcs8 -topk8 -nocrypt -in "$work/signer.key" -out "$work/signer.p8"
  softhsm2-util --import "$work/signer.p8" --token qelvaro --label signer --id 01 --pin 1234 \
    >/dev/null
}

# An RFC 3161 time-stamp server on a free loopback port, answering with `openssl ts -reply`;
# leaves its address in $timestampUrl.
StartTimestampServer() {
  MakeCertificate tsa timeStamping
  cat >"$work/tsa.cnf" <<EOF
[tsa]
default_tsa = throwaway
[throwaway]
serial = $work/tsa.serial
crypto_device = builtin
signer_cert = $work/tsa.pem
signer_key = $work/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256
ess_cert_id_alg = sha256
EOF
  echo 01 >"$work/tsa.serial"
  python3 -c '
import http.server, subprocess, sys
class Server(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", sys.argv[1], "-queryfile",
                                "/dev/stdin", "-out", "/dev/stdout"], input=query,
                               capture_output=True, check=True).stdout
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.end_headers()
        self.wfile.write(reply)
    def log_message(self, *arguments):
        pass
listening = http.server.HTTPServer(("127.0.0.1", 0), Server)
print(listening.server_port, flush=True)
listening.serve_forever()' "$work/tsa.cnf" >"$work/tsa.port" &
  server=$!
  local tries
  for tries in $(seq 100); do
    [ -s "$work/tsa.port" ] && break
    sleep 0.1
  done
  [ -s "$work/tsa.port" ] || {
    echo "The time-stamp server did not start."
    return 1
  }
  timestampUrl=http://127.0.0.1:$(cat "$work/tsa.port")
}

# Packages one architecture into $work/ARCH/HOW, signed as the settings that follow say; leaves
# the files' common name in $name.
Package() {
  local architecture=$1 how=$2
  shift 2
  local build=$root/build/release-$architecture
  local objcopy version arch
  objcopy=$(sed -n 's/^CMAKE_OBJCOPY:FILEPATH=//p' "$build/CMakeCache.txt")
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  [ "$architecture" = x86_64 ] && arch=win64 || arch=win32
  name=qelvaro-$version-$arch
  local out=$work/$architecture/$how
  env "$@" bash "$root/tools/package-windows.sh" "$objcopy" "$build/bin/qelvaro.exe" "$version" \
    "$arch" "$root" "$out"
}

# Every file the release signs must carry a signature that osslsigncode accepts against the
# throwaway certificate; those signed from the PKCS#12 file also a time stamp.
Verify() {
  local folder=$1
  local file shown signature
  for file in qelvaro.exe "$name-uninstall.exe" "$name-setup.exe" "$name.msi"; do
    shown=${folder#"$work/"}/$file
    signature=$folder/signatures/$file.pem
    [[ $file == "$name"* ]] || signature=$folder/signatures/$name-$file.pem
    if ! osslsigncode verify -CAfile "$work/signer.pem" -TSA-CAfile "$work/tsa.pem" \
      -in "$folder/$file" >"$work/verify.log" 2>&1; then
      cat "$work/verify.log"
      echo "NOT SIGNED: $shown"
      status=1
    elif [[ $folder == */pfx ]] && ! HasTimestamp "$signature"; then
      echo "NO TIME STAMP: $shown"
      status=1
    else
      echo "signed   $shown"
    fi
  done
}

# osslsigncode puts an RFC 3161 time stamp into the signature as an attribute of this type.
HasTimestamp() {
  [[ $(openssl asn1parse -in "$1") == *:1.3.6.1.4.1.311.3.3.1* ]]
}

MakeCertificate signer codeSigning
MakePfx
MakeToken
StartTimestampServer
status=0
for architecture in "${architectures[@]}"; do
  Package "$architecture" pfx QELVARO_SIGN_PFX="$work/signer.pfx" \
    QELVARO_SIGN_PASSWORD=throwaway QELVARO_SIGN_TIMESTAMP_URL="$timestampUrl"
  Package "$architecture" pkcs11 QELVARO_SIGN_PKCS11_MODULE=/usr/lib/softhsm/libsofthsm2.so \
    QELVARO_SIGN_PKCS11_KEY="pkcs11:token=qelvaro;object=signer;type=private" \
    QELVARO_SIGN_CERT="$work/signer.pem" QELVARO_SIGN_PASSWORD=1234
  Package "$architecture" attached QELVARO_SIGN_ATTACH="$work/$architecture/pfx/signatures"
  Verify "$work/$architecture/pfx"
  Verify "$work/$architecture/pkcs11"
  if diff -r "$work/$architecture/pfx" "$work/$architecture/attached"; then
    echo "same     $architecture: signed, and unsigned with the signatures attached"
  else
    echo "DIFFERENT $architecture: signed, and unsigned with the signatures attached"
    status=1
  fi
done
exit $status
