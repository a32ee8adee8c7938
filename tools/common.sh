# Sourced by ./run, ./test and the other top-level scripts: package set-up and the Wine sandbox.

# Whether this kernel runs 32-bit x86 programs (some virtual machines' kernels do not): 32-bit
# Wine needs it. Told by running a 32-bit program of three instructions, written out byte by byte
# so that nothing need be installed first.
CanRun32Bit() {
  local elf=(
    7f 45 4c 46 01 01 01 00 00 00 00 00 00 00 00 00 # ELF, 32-bit, little-endian
    02 00 03 00 01 00 00 00 54 80 04 08 34 00 00 00 # executable, i386, entry, program header at 52
    00 00 00 00 00 00 00 00 34 00 20 00 01 00 00 00 # one program header
    00 00 00 00 01 00 00 00 00 00 00 00 00 80 04 08 # a segment: the whole file at 0x8048000,
    00 80 04 08 5d 00 00 00 5d 00 00 00 05 00 00 00 # 93 bytes, readable and executable
    00 10 00 00 b8 01 00 00 00 31 db cd 80          # exit(0): eax 1, ebx 0, int 0x80
  )
  local probe status
  probe=$(mktemp)
  printf "$(printf '\\x%s' "${elf[@]}")" >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  status=$?
  rm -f "$probe"
  return $status
}

# Debian packages the build, the tests and the program need.
QELVARO_PACKAGES=(
  cmake make g++ googletest libgtest-dev unicode-data
  pkg-config libcairo2-dev libpango1.0-dev libpng-dev zlib1g-dev fonts-noto-core icoutils
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth xdotool x11-utils imagemagick python3 python3-xlib
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  nsis zip wixl msitools faketime
  osslsigncode openssl softhsm2 libengine-pkcs11-openssl python3-yaml
)
# Where 32-bit programs cannot run, wine32 would only make the wine command fail.
CanRun32Bit && QELVARO_PACKAGES+=(wine32:i386)

# Installs only what is absent, so a machine that has everything never touches the network.
EnsurePackages() {
  local missing=()
  local package
  for package in "${QELVARO_PACKAGES[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  # wine32 is an i386 package: apt sees none until the architecture is added.
  if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

# A throwaway Wine prefix: the user's own ~/.wine is never touched.
UseFreshWinePrefix() {
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/qelvaro-wine.XXXXXX")
  export WINEPREFIX
  export WINEDEBUG=-all
  # No Mono or Gecko prompts, and no menu entries on the host for the shortcuts tests create.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  # One server for the whole run (a fresh one per wine call costs seconds). Neither it nor the
  # services wineboot starts may hold our output pipes, or whoever reads them waits for ever.
  wineserver -p </dev/null >/dev/null 2>&1
  wineboot -u </dev/null >/dev/null 2>&1
  # Xvfb has no window manager: one Wine waited for would cost two seconds at every hidden window,
  # and would leave the tray a caption without its icons. The setting is read as a process starts,
  # so what wineboot started (the tray among it) starts again.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  wineserver -k </dev/null >/dev/null 2>&1
  wineserver -w </dev/null >/dev/null 2>&1
  wineserver -p </dev/null >/dev/null 2>&1
  wineboot </dev/null >/dev/null 2>&1
}

# Wine's Uniscribe draws syllabics in Euphemia, the face Windows has for them; Wine has none, so
# they come out as boxes. Wine knows Noto Sans Canadian Aboriginal only by its Windows name: asked
# for the long one, it substitutes a face without syllabics. Once per prefix, marked in the prefix.
LinkSyllabicsFont() {
  local done="$WINEPREFIX/.qelvaro-syllabics-font"
  [ -e "$done" ] && return 0
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Euphemia /d 'Noto Sans CanAborig' /f \
    >/dev/null 2>&1 && touch "$done"
}

ForgetWinePrefix() {
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
