# Cross build for 64-bit ARM Linux (a Raspberry Pi 4 or 5 on a 64-bit Debian system) on a
# Debian amd64 machine with Debian's multiarch packages: the cross compiler from
# crossbuild-essential-arm64 and the :arm64 development packages installed beside the amd64
# ones (scripts/setup.sh lists them). Qt's host tools (moc, rcc, uic) stay the amd64 ones.
#   cmake -S . -B build-arm64 --toolchain cmake/toolchain-linux-arm64.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# The arm64 libraries live in the machine's own tree under their multiarch folders, so the
# root stays "/"; the programs found must be the machine's own (amd64) ones.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# Qt refuses a cross build without the host's own Qt for its tools.
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${CMAKE_HOST_SYSTEM_PROCESSOR}-linux-gnu/cmake CACHE PATH "")

# pkg-config answers for arm64 only: no amd64 .pc file may leak into the build.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)

# Test programs (and the test lists gtest_discover_tests reads from them) run under user-mode
# emulation. qemu finds the arm64 loader and libraries in their multiarch folders.
find_program(TAVLO_QEMU_AARCH64 qemu-aarch64-static qemu-aarch64)
if(TAVLO_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVLO_QEMU_AARCH64})
endif()
