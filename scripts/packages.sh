# shellcheck shell=bash
# Debian packages the build, the tests and the demo need, in groups. Sourced by the scripts.
# The group lists are read by name (VARNEL_PACKAGES_<GROUP>).
# shellcheck disable=SC2034

# build: compile Varnel and run it (the wizard, varnelctl, upssim, pictures of
# the pages). The test and benchmark libraries are here too: build/release
# builds them, and cmake stops without them.
VARNEL_PACKAGES_BUILD=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libxml2-dev
  # TLS for the downloads and SHA-256 of the data file.
  libssl-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  # varnelctl's chart as SVG (without Qt Svg it writes PNG only).
  qt6-svg-dev
  fonts-liberation
  xvfb xauth
  libcli11-dev nlohmann-json3-dev
)
# tests: what the test suites and benchmarks run against or with.
VARNEL_PACKAGES_TESTS=(
  libxml2-utils
  # openssl makes the test certificates.
  openssl
  nginx-light lighttpd python3-pyftpdlib curl
  clang-format-14
  valgrind
)
# package: the Debian package, its checks and the man pages.
VARNEL_PACKAGES_PACKAGE=(
  dpkg-dev fakeroot file lintian scdoc appstream desktop-file-utils bash-completion
)
# windows: the Windows build (MinGW-w64, posix threads) and its tests under
# Wine; zip for its package, its installer (wixl) and what reads one back (msiinfo, msiextract).
VARNEL_PACKAGES_WINDOWS=(
  g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 zip
  wixl msitools
)
# fuzz: the libFuzzer targets.
VARNEL_PACKAGES_FUZZ=(
  clang-14 libclang-rt-14-dev
)
VARNEL_PACKAGE_GROUPS=(build tests package windows fuzz)

# Every group; a script may add packages of its own here before installing.
VARNEL_PACKAGES=()
for _varnel_group in "${VARNEL_PACKAGE_GROUPS[@]}"; do
  declare -n _varnel_list="VARNEL_PACKAGES_${_varnel_group^^}"
  VARNEL_PACKAGES+=("${_varnel_list[@]}")
  unset -n _varnel_list
done
unset _varnel_group

# varnel_install_packages [GROUP...]: installs whatever is missing of the
# groups named (all of VARNEL_PACKAGES when none is), with apt-get update once,
# only when needed.
varnel_install_packages() {
  local wanted=() group
  if [ $# -eq 0 ]; then
    wanted=("${VARNEL_PACKAGES[@]}")
  fi
  for group in "$@"; do
    case " ${VARNEL_PACKAGE_GROUPS[*]} " in
      *" $group "*) ;;
      *) echo "varnel_install_packages: no package group '$group' (${VARNEL_PACKAGE_GROUPS[*]})" >&2; return 2 ;;
    esac
    local -n list="VARNEL_PACKAGES_${group^^}"
    wanted+=("${list[@]}")
    unset -n list
  done
  local missing=() pkg
  for pkg in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}
