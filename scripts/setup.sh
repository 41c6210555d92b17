# Shared by scripts/test, scripts/run, scripts/fuzz, scripts/bench and scripts/package: installs
# what is missing (Debian 12; through sudo unless run as root, and only for apt), then
# configures and builds. Source it; do not run it.
set -euo pipefail

TAVLO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TAVLO_BUILD=${TAVLO_BUILD:-$TAVLO_ROOT/build}
TAVLO_JOBS=${TAVLO_JOBS:-$(nproc)}

tavlo_packages=(
  cmake make g++ pkg-config
  qt6-base-dev qt6-serialport-dev qt6-websockets-dev qt6-qpa-plugins libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  clang libclang-rt-14-dev
  scdoc gzip
  desktop-file-utils appstream man-db bash-completion systemd libxml2-utils file
  dpkg-dev lintian
  xvfb xauth x11-utils
  chromium chromium-driver python3-selenium
  libmosquitto-dev mosquitto mosquitto-clients openssl
)

# The Windows leg: the cross-compiler, the installer's builder, Wine and what drives the panel.
tavlo_windows_packages=(
  g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64 nsis ninja-build
  wine wine64 socat xvfb xdotool imagemagick unzip googletest
)
# Where the Windows SDK (Qt and libmosquitto for Windows) lives and is made from.
TAVLO_WINDOWS_SDK=${TAVLO_WINDOWS_SDK:-$HOME/.cache/tavlo/qt-6.4.2-mingw-x86_64}
TAVLO_WINDOWS_SOURCES=${TAVLO_WINDOWS_SOURCES:-$(dirname "$TAVLO_ROOT")/shared/windows/sources}

tavlo_install() {
    local missing=() extra=("$@")
    for package in "${tavlo_packages[@]}" "${extra[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    # Through env: sudo would drop the variable from the environment.
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

# Configures and builds the given targets (all of them when none is named).
tavlo_build() {
    local werror=OFF targets=()
    [ "${CI:-}" = "true" ] && werror=ON
    [ $# -gt 0 ] && targets=(--target "$@")
    cmake -S "$TAVLO_ROOT" -B "$TAVLO_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTAVLO_WERROR="$werror" >/dev/null
    cmake --build "$TAVLO_BUILD" -j "$TAVLO_JOBS" "${targets[@]}"
}
