# Installation and the Debian package. The version comes from project() in
# the top CMakeLists.txt and nowhere else: the package and the manual page
# both take PROJECT_VERSION.
include(GNUInstallDirs)

configure_file(${PROJECT_SOURCE_DIR}/man/trelvo.1.in ${PROJECT_BINARY_DIR}/man/trelvo.1 @ONLY)

install(TARGETS trelvo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT trelvo)
install(FILES ${PROJECT_BINARY_DIR}/man/trelvo.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT trelvo)

set(CPACK_GENERATOR DEB)
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
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

include(CPack)
