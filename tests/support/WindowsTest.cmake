# Runs one Windows test program under the emulator (Wine) and shows what it wrote: Qt Test under
# Wine writes nothing to the console, so it writes a file (-o FILE,txt) that is shown here.
# In: PROGRAM, KIND (gtest or qtest), EMULATOR (may be empty on Windows itself), OUTPUT.
if(KIND STREQUAL "qtest")
  # The platform as an argument: Wine leaves variables named QT_* out of a program's
  # environment, so QT_QPA_PLATFORM would never arrive.
  set(arguments -platform offscreen -o "${OUTPUT},txt")
else()
  set(arguments "--gtest_output=xml:${OUTPUT}.xml")
endif()
file(REMOVE "${OUTPUT}")
execute_process(COMMAND ${EMULATOR} "${PROGRAM}" ${arguments}
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" written)
  string(APPEND out "${written}")
endif()
message("${out}")
if(NOT err STREQUAL "")
  # Wine's own notes ("fixme:") are left out; the program's errors are kept.
  string(REGEX REPLACE "[0-9a-f]+:fixme:[^\n]*\n" "" err "${err}")
  message("${err}")
endif()
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} failed: ${result}")
endif()
