# The programs are built with the flags Debian builds its own packages with (dpkg-buildflags,
# hardening=+all): fortified libc calls, stack protector, PIE, read-only relocations bound at
# start. Not for Windows (ELF only) nor for the sanitizer and fuzz trees, which bring their own.
option(TAVLO_HARDEN "Build with Debian's hardening flags" ON)
if(NOT TAVLO_HARDEN OR WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()
include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
# The fortified calls need the optimiser; a Debug build would only be warned.
add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
add_link_options(-Wl,-z,relro -Wl,-z,now)
