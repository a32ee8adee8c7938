# Sourced by ./run, ./test and the other top-level scripts: package set-up and the Wine sandbox.

# Whether this kernel runs 32-bit x86 programs (some virtual machines' kernels do not): 32-bit
# Wine needs it. Told by running a program of three instructions.
CanRun32Bit() {
  local probe
  probe=$(mktemp -d)
  printf '.globl _start\n_start: movl $1, %%eax\nxorl %%ebx, %%ebx\nint $0x80\n' |
    as --32 -o "$probe/exit.o" 2>/dev/null && ld -m elf_i386 -o "$probe/exit" "$probe/exit.o" &&
    "$probe/exit" 2>/dev/null
  local status=$?
  rm -rf "$probe"
  return $status
}

# Debian packages the build, the tests and the program need.
QELVARO_PACKAGES=(
  cmake make g++ googletest libgtest-dev unicode-data
  pkg-config libcairo2-dev libpango1.0-dev libpng-dev zlib1g-dev fonts-noto-core icoutils
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth xdotool x11-utils imagemagick python3 python3-xlib
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  nsis zip
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
