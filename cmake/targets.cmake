# What differs between the targets: Linux x86-64 (native), Linux ARM64,
# Windows x86-64 and WebAssembly (cross builds with the toolchain files
# beside this one).
#
# TRELVO_X86: the x86 vector variants are built and chosen at run time;
#   elsewhere the portable code alone.
# TRELVO_PLATFORM_SOURCE: the platform layer of the target's system.
# TRELVO_WIDE_VECTOR_OPTIONS: extra options of the AVX units.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$" AND NOT EMSCRIPTEN)
  set(TRELVO_X86 ON)
else()
  set(TRELVO_X86 OFF)
endif()

set(TRELVO_WIDE_VECTOR_OPTIONS "")
if(WIN32)
  set(TRELVO_PLATFORM_SOURCE src/base/platform_windows.cpp)
  # The C99 printf family, which prints "%7.2f" of infinities, huge and tiny
  # values as glibc does (the C runtime's own does not).
  add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)
  # One self-contained .exe: the C++ runtime and the threads linked in.
  add_link_options(-static)
  # Windows keeps the stack 16-byte aligned, so GCC's spills of 32- and
  # 64-byte vectors must not use aligned moves.
  set(TRELVO_WIDE_VECTOR_OPTIONS "-Wa,-muse-unaligned-vector-move")
elseif(EMSCRIPTEN)
  set(TRELVO_PLATFORM_SOURCE src/base/platform_web.cpp)
  # The generic vector code on WebAssembly's 128-bit vectors, whose float
  # operations round as x86's do (NaN signs are put right in
  # kernels/strict_float.h). The end of input and a refused size are
  # exceptions, which emscripten catches only when asked.
  add_compile_options(-msimd128 -fexceptions
    "SHELL:-include ${CMAKE_CURRENT_LIST_DIR}/web_libcxx.h")
  # Every program of the build (the program for node, the tests) runs under
  # node, on its standard streams; cmake/web.cmake builds the page's beside.
  add_link_options(-fexceptions -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=2GB
    -sENVIRONMENT=node -sNODERAWFS=1 -sSINGLE_FILE=1 -sEXIT_RUNTIME=1)
else()
  set(TRELVO_PLATFORM_SOURCE src/base/platform_posix.cpp)
endif()
