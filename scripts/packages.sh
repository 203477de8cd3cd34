# Debian packages the build, the tests and the demo need. Sourced by the scripts.
VARNEL_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libxml2-dev libxml2-utils
  # TLS for the downloads and SHA-256 of the data file; openssl makes the test certificates.
  libssl-dev openssl
  nginx-light lighttpd python3-pyftpdlib curl
  qt6-base-dev qt6-base-dev-tools libgl-dev
  # varnelctl's chart as SVG (without Qt Svg it writes PNG only).
  qt6-svg-dev
  fonts-liberation
  xvfb xauth
  libcli11-dev nlohmann-json3-dev
  clang-14 libclang-rt-14-dev clang-format-14
  valgrind
  # The Debian package, its checks and the man pages.
  dpkg-dev fakeroot file lintian scdoc appstream desktop-file-utils bash-completion
  # The Windows build (MinGW-w64, posix threads) and its tests under Wine; zip for its package.
  g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 zip
  # Its installer (wixl) and what reads one back (msiinfo, msiextract).
  wixl msitools
)

# Installs whatever is missing (apt-get update once, only when needed).
varnel_install_packages() {
  local missing=()
  for pkg in "${VARNEL_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}
