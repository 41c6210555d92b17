# A tree built with sanitizers (scripts/test-sanitizers): TAVLO_SANITIZE is what -fsanitize=
# takes, "address,undefined" or "thread". Every finding ends the program, so a test that sees
# one fails.
set(TAVLO_SANITIZE "" CACHE STRING "Sanitizers to build with (address,undefined or thread)")
if(NOT TAVLO_SANITIZE)
  return()
endif()
set(TAVLO_HARDEN OFF CACHE BOOL "" FORCE) # fortified calls hide what ASan would see
add_compile_options(-fsanitize=${TAVLO_SANITIZE} -fno-omit-frame-pointer
                    -fno-sanitize-recover=all)
add_link_options(-fsanitize=${TAVLO_SANITIZE})
