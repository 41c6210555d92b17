cmake_policy(VERSION 3.25)
# Run at install time (cmake -P, or install(CODE)) on a Windows build: copies beside the programs
# every DLL they import that is not the system's, followed recursively, and the Qt plugins that
# are loaded at run time rather than imported. What ships is what the programs need, read from
# the programs themselves (x86_64-w64-mingw32-objdump -p), so no list of files goes stale.
#
# In: TAVLO_DEPLOY_DIR (the folder with the programs), TAVLO_DEPLOY_PROGRAMS (their names),
#     TAVLO_DEPLOY_SEARCH (folders where DLLs may be found, in order), TAVLO_DEPLOY_PLUGINS
#     (the Qt plugin folder), TAVLO_DEPLOY_PLUGIN_FILES (plugin paths below it), TAVLO_OBJDUMP,
#     TAVLO_STRIP (to take the symbols out of what is copied; the runtime DLLs carry theirs).

function(_tavlo_imports binary out)
  execute_process(COMMAND ${TAVLO_OBJDUMP} -p ${binary} OUTPUT_VARIABLE dump
                  RESULT_VARIABLE rc ERROR_QUIET)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot read the imports of ${binary}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
  set(names)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "DLL Name: " "" name "${line}")
    string(STRIP "${name}" name)
    list(APPEND names ${name})
  endforeach()
  set(${out} ${names} PARENT_SCOPE)
endfunction()

# The DLL's path in the search folders, matched without regard to case as Windows does; empty
# for the system's own (KERNEL32.dll and the like), which are never shipped.
function(_tavlo_find_dll name out)
  string(TOLOWER "${name}" wanted)
  foreach(dir IN LISTS TAVLO_DEPLOY_SEARCH)
    file(GLOB candidates LIST_DIRECTORIES false "${dir}/*.dll" "${dir}/*.DLL")
    foreach(candidate IN LISTS candidates)
      get_filename_component(file "${candidate}" NAME)
      string(TOLOWER "${file}" lower)
      if(lower STREQUAL wanted)
        set(${out} "${candidate}" PARENT_SCOPE)
        return()
      endif()
    endforeach()
  endforeach()
  set(${out} "" PARENT_SCOPE)
endfunction()

set(queue)
foreach(program IN LISTS TAVLO_DEPLOY_PROGRAMS)
  list(APPEND queue "${TAVLO_DEPLOY_DIR}/${program}")
endforeach()
foreach(plugin IN LISTS TAVLO_DEPLOY_PLUGIN_FILES)
  get_filename_component(sub "${plugin}" DIRECTORY)
  file(COPY "${TAVLO_DEPLOY_PLUGINS}/${plugin}" DESTINATION "${TAVLO_DEPLOY_DIR}/${sub}")
  execute_process(COMMAND ${TAVLO_STRIP} --strip-unneeded "${TAVLO_DEPLOY_DIR}/${plugin}")
  list(APPEND queue "${TAVLO_DEPLOY_DIR}/${plugin}")
endforeach()

set(seen)
while(queue)
  list(POP_FRONT queue binary)
  _tavlo_imports("${binary}" imports)
  foreach(name IN LISTS imports)
    string(TOLOWER "${name}" key)
    if(key IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${key})
    _tavlo_find_dll("${name}" found)
    if(found)
      file(COPY "${found}" DESTINATION "${TAVLO_DEPLOY_DIR}")
      get_filename_component(file "${found}" NAME)
      execute_process(COMMAND ${TAVLO_STRIP} --strip-unneeded "${TAVLO_DEPLOY_DIR}/${file}")
      message(STATUS "Deploying: ${file} (imported by ${binary})")
      list(APPEND queue "${TAVLO_DEPLOY_DIR}/${file}")
    endif()
  endforeach()
endwhile()
