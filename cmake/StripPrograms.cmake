# Run by cpack on the staged files before they are packed.
file(GLOB programs ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/bin/*)
if(NOT programs)
  message(FATAL_ERROR "no programs staged in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(program IN LISTS programs)
  execute_process(COMMAND ${CPACK_TAVLO_STRIP} --strip-unneeded --remove-section=.comment
                          --remove-section=.note ${program} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
