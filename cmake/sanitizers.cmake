# Sanitized builds.
#
# TRELVO_SANITIZE: every target built with AddressSanitizer and
#   UndefinedBehaviorSanitizer; the first report stops the program with a
#   non-zero status, so any test that provokes one fails.
# TRELVO_FUZZ: the libFuzzer target of the whole dialogue (tests/fuzz), with
#   the same sanitizers. Needs clang and its runtime libraries.
option(TRELVO_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(TRELVO_FUZZ "Build the libFuzzer target of the dialogue (clang only)" OFF)

if(TRELVO_SANITIZE OR TRELVO_FUZZ)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(TRELVO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TRELVO_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # Coverage instrumentation everywhere; the fuzzer's own main is linked into
  # the fuzz target only.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
