# Installs quennel like a Unix tool (binary and man page) and packs it as a Debian package:
#   cmake --install build --prefix /usr
#   (cd build && cpack -G DEB)
include(GNUInstallDirs)

install(TARGETS quennel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/doc/quennel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME quennel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compare two XML files, or remove elements from one")
set(CPACK_PACKAGE_DESCRIPTION
    "quennel diffs two XML files ignoring letter case and whitespace-only text, optionally\n\
ignoring comments, the order of children and named elements; or removes named elements\n\
from an XML file in place. Its exit codes suit build scripts.")
set(CPACK_PACKAGE_CONTACT "quennel maintainers <quennel@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps derives the dependencies (libxerces-c3.2, libstdc++6, ...) from the binary;
# without it they are named here.
find_program(QUENNEL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QUENNEL_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libxerces-c3.2, libxml2, libstdc++6, libgcc-s1, libc6")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
