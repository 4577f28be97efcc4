# The program in WebAssembly (included for emscripten builds, after the
# program's target): `trelvo` is the console program for node, on node's
# standard streams, in node/trelvo.js; `trelvo_page` is the same program for
# the web page, in trelvo.js and trelvo.wasm at the top of the build, beside
# the page (web/) and the terminal widget (npm's @xterm/xterm, installed in
# web/node_modules by `npm ci`).
set(TRELVO_WEB_SOURCE ${PROJECT_SOURCE_DIR}/web)
set(TRELVO_XTERM ${TRELVO_WEB_SOURCE}/node_modules/@xterm/xterm)

# Emscripten's optimizer of JavaScript runs under node, which must find
# Debian's acorn there.
set_property(GLOBAL PROPERTY RULE_LAUNCH_LINK "env NODE_PATH=/usr/share/nodejs")

set_target_properties(trelvo PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/node)
target_link_options(trelvo PRIVATE "SHELL:--js-library ${TRELVO_WEB_SOURCE}/library.js")
set_property(TARGET trelvo APPEND PROPERTY LINK_DEPENDS ${TRELVO_WEB_SOURCE}/library.js)

# In the page a read waits for the terminal: Asyncify saves the program's
# stack while the page takes keys (in 64 KiB, room for the deepest read),
# and starts it again with the typed line.
# Each dialogue is a fresh instance of the module (createTrelvo), whose main
# the page calls itself (ccall, which waits for main's true end).
add_executable(trelvo_page ${PROJECT_SOURCE_DIR}/src/main.cpp)
target_link_libraries(trelvo_page PRIVATE trelvo_core)
set_target_properties(trelvo_page PROPERTIES OUTPUT_NAME trelvo
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_options(trelvo_page PRIVATE
  -sENVIRONMENT=web -sNODERAWFS=0 -sSINGLE_FILE=0
  -sASYNCIFY=1 "-sASYNCIFY_IMPORTS=[trelvo_read_line,trelvo_wait_key]" -sASYNCIFY_STACK_SIZE=65536
  -sMODULARIZE=1 -sEXPORT_NAME=createTrelvo -sINVOKE_RUN=0 "-sEXPORTED_RUNTIME_METHODS=[ccall]"
  "SHELL:--js-library ${TRELVO_WEB_SOURCE}/library.js")
set_property(TARGET trelvo_page APPEND PROPERTY LINK_DEPENDS ${TRELVO_WEB_SOURCE}/library.js)

# The page's own files and the terminal widget, copied beside it.
set(TRELVO_PAGE_FILES
  ${TRELVO_WEB_SOURCE}/index.html
  ${TRELVO_WEB_SOURCE}/page.css
  ${TRELVO_WEB_SOURCE}/terminal.js
  ${TRELVO_XTERM}/lib/xterm.js
  ${TRELVO_XTERM}/css/xterm.css)
set(copied "")
foreach(file ${TRELVO_PAGE_FILES})
  get_filename_component(name ${file} NAME)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${name}
    COMMAND ${CMAKE_COMMAND} -E copy ${file} ${CMAKE_BINARY_DIR}/${name}
    DEPENDS ${file})
  list(APPEND copied ${CMAKE_BINARY_DIR}/${name})
endforeach()
add_custom_target(trelvo_page_files ALL DEPENDS ${copied})
