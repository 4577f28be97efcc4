# Cross build for WebAssembly with Debian's emscripten (the package
# emscripten, in /usr/share/emscripten). Tests run under node.
if(NOT DEFINED ENV{EMSCRIPTEN_ROOT})
  set(ENV{EMSCRIPTEN_ROOT} /usr/share/emscripten)
endif()
include($ENV{EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake)
