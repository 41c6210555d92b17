# `cpack` in the build folder makes a Debian package of what `cmake --install` installs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavlo)
set(CPACK_PACKAGE_VENDOR "The Tavlo developers")
set(CPACK_PACKAGE_CONTACT "The Tavlo developers <dev@tavlo.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control panel for a 4x8 HDMI 2.0 video matrix over RS232")
set(CPACK_PACKAGE_DESCRIPTION
    "Tavlo is the operator's desktop control panel for the 4x8 HDMI2.0 Matrix,
a video matrix switcher with four HDMI inputs and four outputs (each both
HDMI and HDBaseT), driven over RS232. It routes inputs, stores scenes, and
sets audio, EDID and the matrix's network settings.

The tavloctl tool does the same from scripts, runs a simulated matrix, and
serves one matrix to many clients over TCP, with a systemd unit that runs
it as a service.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Stripped as Debian strips its programs (symbols and the .comment and .note sections), by the
# strip of the programs' own architecture.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/StripPrograms.cmake)
set(CPACK_TAVLO_STRIP ${CMAKE_STRIP})
# A cross build is packed for its target: the package's architecture, and dpkg-shlibdeps reads
# the programs with that architecture's objdump and finds their libraries among its packages.
if(CMAKE_CROSSCOMPILING)
  execute_process(COMMAND dpkg-architecture -t${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
                  OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CrossPackage.cmake)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://tavlo.org/)
# Libraries come from what the programs link (dpkg-shlibdeps). Named here only what no linker
# sees: the maintainer scripts call adduser, and Qt loads its platform plugins at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
# Names the matrix stores in code page 936 need a font with Chinese glyphs.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/postinst
                                       ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The package's documentation: the machine-readable copyright and a changelog (dated by the
# configure run, or by SOURCE_DATE_EPOCH for reproducible builds).
string(TIMESTAMP TAVLO_BUILD_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(changelog ${CMAKE_BINARY_DIR}/debian/changelog)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${changelog} @ONLY)
add_custom_command(
  OUTPUT ${changelog}.gz
  COMMAND gzip -9nkf ${changelog}
  DEPENDS ${changelog}
  VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${changelog}.gz)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${changelog}.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The interface documents, where the help and the man page point.
install(FILES ${PROJECT_SOURCE_DIR}/docs/api.md ${PROJECT_SOURCE_DIR}/docs/mqtt.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

include(CPack)
