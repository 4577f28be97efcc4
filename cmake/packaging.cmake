# Installation and the packages: on Linux a Debian package (amd64, or arm64
# from the cross build), on Windows a ZIP with trelvo.exe and LEGGIMI.txt.
# The version comes from project() in the top CMakeLists.txt and nowhere
# else: the packages and the manual page all take PROJECT_VERSION.
include(GNUInstallDirs)

if(WIN32)
  # Windows Notepad and every Windows tool expect "\r\n" line ends.
  file(READ ${PROJECT_SOURCE_DIR}/man/LEGGIMI.txt guide)
  string(REPLACE "\n" "\r\n" guide "${guide}")
  file(WRITE ${PROJECT_BINARY_DIR}/man/LEGGIMI.txt "${guide}")
  install(TARGETS trelvo RUNTIME DESTINATION . COMPONENT trelvo)
  install(FILES ${PROJECT_BINARY_DIR}/man/LEGGIMI.txt DESTINATION . COMPONENT trelvo)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME trelvo-${PROJECT_VERSION}-windows-x86_64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  configure_file(${PROJECT_SOURCE_DIR}/man/trelvo.1.in ${PROJECT_BINARY_DIR}/man/trelvo.1 @ONLY)
  install(TARGETS trelvo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT trelvo)
  install(FILES ${PROJECT_BINARY_DIR}/man/trelvo.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT trelvo)
  set(CPACK_GENERATOR DEB)
endif()
set(CPACK_PACKAGE_NAME trelvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "TRELVO developers <trelvo@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive console matrix calculator with an Italian dialogue")
set(CPACK_PACKAGE_DESCRIPTION
    "TRELVO asks for the size of a matrix, fills it at random or lets the
user type it in, and offers a numbered menu of operations: product by a
scalar, sum, transpose, row-by-column product, determinant and inverse by
cofactors. The determinant prints its working step by step, as on a
blackboard. A result can be kept as the new matrix in memory, so
operations chain.

Arithmetic is strict IEEE single precision, so the same input gives the
same output on every machine. The dialogue is in Italian.")
# Only the program and its manual page go into the package, whatever else
# the build tree (tests, GoogleTest) would install.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};trelvo;/")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION math)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
  # dpkg-shlibdeps knows only this machine's libraries: the dependencies it
  # finds for the same program built natively.
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 12)")
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

include(CPack)
