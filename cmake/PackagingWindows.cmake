# `cpack` in a Windows build folder makes the setup program (NSIS) and a .zip of the same files.
# The programs, their DLLs and Qt's run-time plugins go into one folder, Program Files\Tavlo.
find_program(TAVLO_OBJDUMP NAMES x86_64-w64-mingw32-objdump objdump REQUIRED)
find_program(TAVLO_STRIP NAMES x86_64-w64-mingw32-strip strip REQUIRED)

# Where the DLLs the programs import can come from: Qt, the compiler's runtime, the target's
# libraries (winpthread), and libmosquitto beside Qt.
get_target_property(_tavlo_qtcore_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
if(NOT _tavlo_qtcore_dll)
  get_target_property(_tavlo_qtcore_dll Qt6::Core IMPORTED_LOCATION)
endif()
get_filename_component(_tavlo_qt_bin "${_tavlo_qtcore_dll}" DIRECTORY)
get_filename_component(_tavlo_qt_prefix "${_tavlo_qt_bin}" DIRECTORY)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-libgcc-file-name
                OUTPUT_VARIABLE _tavlo_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(_tavlo_gcc_dir "${_tavlo_libgcc}" DIRECTORY)
set(TAVLO_DEPLOY_SEARCH ${_tavlo_qt_bin} ${_tavlo_gcc_dir} /usr/x86_64-w64-mingw32/lib
    /usr/x86_64-w64-mingw32/bin)
# What Qt loads by name rather than imports: the window system, the native style, TLS (Schannel,
# and the certificate-only backend it falls back to) and the icon reader.
set(TAVLO_DEPLOY_PLUGIN_FILES platforms/qwindows.dll styles/qwindowsvistastyle.dll
    tls/qschannelbackend.dll tls/qcertonlybackend.dll imageformats/qico.dll)

install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
install(CODE "
  set(TAVLO_DEPLOY_DIR \"\${CMAKE_INSTALL_PREFIX}\")
  set(TAVLO_DEPLOY_PROGRAMS tavlo.exe tavloctl.exe)
  set(TAVLO_DEPLOY_SEARCH \"${TAVLO_DEPLOY_SEARCH}\")
  set(TAVLO_DEPLOY_PLUGINS \"${_tavlo_qt_prefix}/plugins\")
  set(TAVLO_DEPLOY_PLUGIN_FILES \"${TAVLO_DEPLOY_PLUGIN_FILES}\")
  set(TAVLO_OBJDUMP \"${TAVLO_OBJDUMP}\")
  set(TAVLO_STRIP \"${TAVLO_STRIP}\")
  include(\"${CMAKE_CURRENT_LIST_DIR}/WindowsDeploy.cmake\")
")

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME tavlo)
set(CPACK_PACKAGE_VENDOR "The Tavlo developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control panel for a 4x8 HDMI 2.0 video matrix over RS232")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Tavlo)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Tavlo)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGE_FILE_NAME tavlo-${PROJECT_VERSION}-win64)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

set(CPACK_NSIS_PACKAGE_NAME "Tavlo ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "Tavlo (4x8 HDMI2.0 Matrix)")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_MUI_ICON ${CMAKE_SOURCE_DIR}/res/windows/tavlo.ico)
set(CPACK_NSIS_MUI_UNIICON ${CMAKE_SOURCE_DIR}/res/windows/tavlo.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME tavlo.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_UNINSTALL_NAME Uninstall)
set(CPACK_NSIS_URL_INFO_ABOUT https://tavlo.org/)
# The Start menu entry, with the program's own icon (from tavlo.exe).
set(CPACK_NSIS_MENU_LINKS "tavlo.exe" "4x8 HDMI2.0 Matrix")
set(CPACK_PACKAGE_EXECUTABLES)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
# A 64-bit setup program for 64-bit programs: it installs into the 64-bit Program Files, and it
# runs where nothing 32-bit does (a Wine without its 32-bit half).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
# tavlo-VERSION-win64-setup.exe and tavlo-VERSION-win64.zip.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/PackagingWindowsNames.cmake)

include(CPack)
