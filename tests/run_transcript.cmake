# Runs PROGRAM with INPUT as its standard input and compares its whole
# standard output with EXPECTED, byte for byte. The exit status must be 0.
get_filename_component(actual_dir ${ACTUAL} DIRECTORY)
file(MAKE_DIRECTORY ${actual_dir})
set(ENV{LC_ALL} C)
set(ENV{TZ} UTC)
execute_process(COMMAND ${PROGRAM}
  INPUT_FILE ${INPUT}
  OUTPUT_FILE ${ACTUAL}
  ERROR_VARIABLE errors
  RESULT_VARIABLE status
  TIMEOUT 50)
if(NOT status STREQUAL "0")
  message(FATAL_ERROR "exit status ${status}\n${errors}")
endif()
if(NOT errors STREQUAL "")
  message(FATAL_ERROR "unexpected standard error:\n${errors}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${EXPECTED} ${ACTUAL}
  RESULT_VARIABLE different)
if(different)
  find_program(DIFF diff)
  if(DIFF)
    execute_process(COMMAND ${DIFF} -u ${EXPECTED} ${ACTUAL} OUTPUT_VARIABLE difference)
  endif()
  message(FATAL_ERROR "output differs from ${EXPECTED} (actual in ${ACTUAL}):\n${difference}")
endif()
