# Robustness tests: the bad-input table, one test per row, and the runs
# under a memory limit.

# bad_input.LINE: the row on line LINE of bad_inputs.txt typed in alone.
set(BAD_INPUTS ${CMAKE_CURRENT_SOURCE_DIR}/bad_inputs.txt)
# Under wine the writable data is limited, not the address space, most of
# which wine reserves as it starts; so under node, which reserves
# WebAssembly's memory and its guard zones as it starts.
set(TRELVO_LIMITED_MEMORY address)
if(WIN32 OR EMSCRIPTEN)
  set(TRELVO_LIMITED_MEMORY data)
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${BAD_INPUTS})
execute_process(COMMAND awk "!/^#/ && length($0) > 0 { print NR }" ${BAD_INPUTS}
  OUTPUT_VARIABLE bad_input_lines)
string(REPLACE "\n" ";" bad_input_lines "${bad_input_lines}")
foreach(line ${bad_input_lines})
  add_test(NAME bad_input.${line}
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/run_limited.sh bad-input ${TRELVO_PROGRAM} ${BAD_INPUTS}
            ${line} $<IF:$<BOOL:${TRELVO_SANITIZE}>,ON,OFF> ${TRELVO_LIMITED_MEMORY})
  set_tests_properties(bad_input.${line} PROPERTIES TIMEOUT 60)
endforeach()

# memory_limit.NAME: memory_limit/NAME.in typed in with the address space
# limited, where its sizes cannot be had; the output must equal NAME.out.
# AddressSanitizer cannot run with its address space limited, nor can an
# emulator, which needs address space of its own.
if(NOT TRELVO_SANITIZE AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  file(GLOB MEMORY_LIMIT_INPUTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/memory_limit/*.in)
  foreach(input ${MEMORY_LIMIT_INPUTS})
    get_filename_component(name ${input} NAME_WE)
    add_test(NAME memory_limit.${name}
      COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/run_limited.sh memory-limit ${TRELVO_PROGRAM} ${input}
              ${CMAKE_CURRENT_SOURCE_DIR}/memory_limit/${name}.out
              ${CMAKE_CURRENT_BINARY_DIR}/memory_limit/${name}.actual)
    set_tests_properties(memory_limit.${name} PROPERTIES TIMEOUT 120)
  endforeach()
endif()
