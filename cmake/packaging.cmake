# Install layout and the Debian package (cpack -G DEB, or the "package" target).
#
#   /usr/bin/kpl-host, /usr/bin/qlt-unit-sim
#   /usr/lib/<multiarch>/libkplhost.so            the host contract library
#   /usr/lib/<multiarch>/kpl/plugins/qltmodel.so  the plug-in
#   /usr/include/kplhost/host/*.h                 what a plug-in compiles against
#   /usr/share/doc/qltmodel/                      README and an example setup
#
# The package's architecture is the target's, so a cross build packages for
# the controller (armhf), not for the machine that built it.

# Libraries go to the multiarch directory ld.so searches, so neither kpl-host
# nor the plug-in needs an RPATH to find libkplhost.so once installed.
if(CMAKE_LIBRARY_ARCHITECTURE AND NOT DEFINED CACHE{CMAKE_INSTALL_LIBDIR})
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH "Object code libraries")
endif()
include(GNUInstallDirs)

set(QLT_PLUGIN_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/kpl/plugins)
set(QLT_HEADER_INSTALL_DIR ${CMAKE_INSTALL_INCLUDEDIR}/kplhost)

install(TARGETS kpl-host qlt-unit-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS kplhost LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS qltmodel LIBRARY DESTINATION ${QLT_PLUGIN_INSTALL_DIR})
# The headers keep their host/ prefix, as the sources include them:
# compile a plug-in with -I/usr/include/kplhost and link it with -lkplhost.
install(DIRECTORY host/ DESTINATION ${QLT_HEADER_INSTALL_DIR}/host FILES_MATCHING PATTERN "*.h")
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES examples/demo.json examples/scenario.json
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# Debian architecture of the target, from its GNU triplet.
set(QLT_DEB_ARCH "")
if(CMAKE_LIBRARY_ARCHITECTURE)
  execute_process(
    COMMAND dpkg-architecture -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
    OUTPUT_VARIABLE QLT_DEB_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT QLT_DEB_ARCH AND CMAKE_CROSSCOMPILING)
  message(FATAL_ERROR "packaging: no Debian architecture for target ${CMAKE_LIBRARY_ARCHITECTURE}")
endif()

set(QLT_PACKAGE_CONTACT "qltmodel maintainers <maintainers@qltmodel.invalid>"
  CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qltmodel)
set(CPACK_PACKAGE_VENDOR "qltmodel")
set(CPACK_PACKAGE_CONTACT "${QLT_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "device-model plug-in for field units over Modbus TCP, with a reference host")
set(CPACK_PACKAGE_DESCRIPTION
  "qltmodel.so reads environment sensors, UPS, PDU and air-conditioner blocks
of a field unit over Modbus TCP into one image per pass and hands the host
their values and alarm states. The package also holds the host contract
(libkplhost.so and its headers), the reference host kpl-host and the
simulated unit qlt-unit-sim.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY qltmodel)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies from the binaries themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(QLT_DEB_ARCH)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${QLT_DEB_ARCH})
  # dpkg-shlibdeps must look up the target's libraries (and use its objdump),
  # so cpack tells it the target architecture when it runs.
  set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_BINARY_DIR}/cpack-env.cmake")
  file(CONFIGURE OUTPUT ${CPACK_PROJECT_CONFIG_FILE}
    CONTENT "set(ENV{DEB_HOST_ARCH} @QLT_DEB_ARCH@)\n" @ONLY)
endif()

include(CPack)
