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
  netcat-openbsd
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
    local missing=() extra=("$@") package
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

# Added to the configure run by tavlo_build (tavlo_arm64 sets them for the cross build).
tavlo_cmake_args=()

# Configures and builds the given targets (all of them when none is named).
tavlo_build() {
    local werror=OFF targets=()
    [ "${CI:-}" = "true" ] && werror=ON
    [ $# -gt 0 ] && targets=(--target "$@")
    cmake -S "$TAVLO_ROOT" -B "$TAVLO_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTAVLO_WERROR="$werror" "${tavlo_cmake_args[@]}" >/dev/null
    cmake --build "$TAVLO_BUILD" -j "$TAVLO_JOBS" "${targets[@]}"
}

# The arm64 cross build (scripts/package --arch arm64, scripts/test-arm64): Debian's cross
# compiler and the :arm64 development packages installed beside the amd64 ones (multiarch);
# the user-mode emulator runs the arm64 test programs on this machine.
tavlo_arm64_packages=(
  crossbuild-essential-arm64 qemu-user-static
  qt6-base-dev:arm64 qt6-serialport-dev:arm64 qt6-websockets-dev:arm64 libgl-dev:arm64
  libmosquitto-dev:arm64 libgtest-dev:arm64 libgmock-dev:arm64
)
# What the board needs tested: the protocol, the serial link, the simulator, the server and
# tavloctl. The page's browser tests, the MQTT broker's and the panel's widget tests stay amd64.
tavlo_arm64_suites="support;unit;serial;sim;server;e2e"

# Installs what the cross build lacks. An :arm64 library must have the very version of its
# amd64 twin, so apt may want to change amd64 packages: upgrades to the archive's version are
# taken, but a plan that removes or downgrades any package is refused, since it would break
# the amd64 build.
tavlo_install_arm64() {
    local sudo="" missing=() package apt=(apt-get -o DPkg::Lock::Timeout=900)
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    if ! dpkg --print-foreign-architectures | grep -qx arm64; then
        echo "Adding the arm64 architecture to dpkg"
        $sudo dpkg --add-architecture arm64
        $sudo "${apt[@]}" update -qq
    fi
    for package in "${tavlo_arm64_packages[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    $sudo "${apt[@]}" update -qq
    local plan
    plan=$(LC_ALL=C "${apt[@]}" -s install --no-install-recommends "${missing[@]}")
    if grep -qE '^Remv |DOWNGRADED' <<<"$plan"; then
        echo "apt would remove or downgrade packages to install the arm64 ones; nothing done:" >&2
        grep -E '^Remv |^Inst .*\[' <<<"$plan" >&2
        return 1
    fi
    $sudo env DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

# Points the build at the arm64 tree (build-arm64) and installs what it needs.
tavlo_arm64() {
    TAVLO_BUILD=${TAVLO_BUILD_ARM64:-$TAVLO_ROOT/build-arm64}
    tavlo_cmake_args=(-DTAVLO_BUILD_BENCH=OFF "-DTAVLO_TEST_SUITES=$tavlo_arm64_suites")
    # CMake reads the toolchain file when it first configures the tree, and only then.
    [ -f "$TAVLO_BUILD/CMakeCache.txt" ] ||
        tavlo_cmake_args+=(--toolchain "$TAVLO_ROOT/cmake/toolchain-linux-arm64.cmake")
    tavlo_install_arm64
}
