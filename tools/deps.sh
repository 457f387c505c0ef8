# Sourced by ./test, ./run and ./fuzz: installs the Debian packages the build and the tests need,
# skipping those already present (a fresh Debian 12 machine lacks several of them).
dravello_packages=(
  cmake ninja-build g++ g++-multilib pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libdeflate-dev zlib1g-dev
  qt6-base-dev qt6-translations-l10n
  xvfb icewm xdotool x11-utils imagemagick fonts-liberation2
  zip unzip 7zip libarchive-tools rsync python3 attr diffutils locales
)
# The Windows pass of ./test: the MinGW-w64 cross compilers (64-bit, and 32-bit for the engine's
# record layout), zlib for MinGW, GoogleTest's sources, Wine to run the result, dpkg-dev to
# unpack Debian's libdeflate sources (tools/mingw-libdeflate.sh), and Xvfb and xdotool for the
# Win32 windows' tests (a display for Wine; the windows looked at from outside).
dravello_windows_packages=(
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  libz-mingw-w64-dev googletest wine wine64 dpkg-dev
  xvfb xdotool
)
# Only ./fuzz needs these: the fuzzers are built with clang and its libFuzzer runtime.
dravello_fuzz_packages=(clang-14 libclang-rt-14-dev)

# dravello_install_packages pkg...: installs those of the packages that are missing.
dravello_install_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

dravello_install_deps() {
  dravello_install_packages "${dravello_packages[@]}"
}

dravello_install_windows_deps() {
  dravello_install_packages "${dravello_windows_packages[@]}"
}

dravello_install_fuzz_deps() {
  dravello_install_packages "${dravello_packages[@]}" "${dravello_fuzz_packages[@]}"
}
