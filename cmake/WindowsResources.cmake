# Icon and version information for a Windows program: tavlo_add_windows_resources(TARGET DESC).
set(_tavlo_rc_template ${CMAKE_CURRENT_LIST_DIR}/../res/windows/tavlo.rc.in)
function(tavlo_add_windows_resources target description)
  set(TAVLO_RC_ICON ${CMAKE_SOURCE_DIR}/res/windows/tavlo.ico)
  set(TAVLO_RC_DESCRIPTION ${description})
  set(TAVLO_RC_FILE ${target}.exe)
  set(words ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH}
            ${PROJECT_VERSION_TWEAK} 0 0 0 0)
  list(SUBLIST words 0 4 words)
  list(JOIN words "," TAVLO_RC_VERSION_WORDS)
  configure_file(${_tavlo_rc_template} ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
endfunction()
