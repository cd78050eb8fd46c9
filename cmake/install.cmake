# Where everything goes, for `cmake --install` and the Debian packages
# (debian/, tools/package.sh):
#
#   /usr/bin/kpl-host, /usr/bin/qlt-unit-sim
#   /usr/lib/<multiarch>/libkplhost.so.0               the host contract library
#   /usr/lib/<multiarch>/kpl/plugins/qltmodel.so       the plug-in
#   /usr/include/kplhost/host/*.h, kplhost.pc          what a plug-in compiles against
#   /etc/kpl-host/host.json                            the host's configuration
install(TARGETS kplhost LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS qltmodel LIBRARY DESTINATION ${QLT_PLUGIN_INSTALL_DIR})
# The headers keep their host/ prefix, as the sources include them:
# pkg-config --cflags --libs kplhost.
install(DIRECTORY host/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kplhost/host
  FILES_MATCHING PATTERN "*.h")
configure_file(cmake/kplhost.pc.in ${PROJECT_BINARY_DIR}/kplhost.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kplhost.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(TARGET kpl-host)
  install(TARGETS kpl-host qlt-unit-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES examples/kpl-host.json DESTINATION ${CMAKE_INSTALL_SYSCONFDIR}/kpl-host
    RENAME host.json)
endif()
