# Install rules: the library with its soname links, the C and C++ headers, pkg-config
# and CMake package files, the tools with their man pages and the examples.
include(CMakePackageConfigHelpers)

set(PELKOR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/pelkor16)

install(TARGETS pelkor16 EXPORT pelkor16Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/pelkor16.h ${PROJECT_SOURCE_DIR}/include/pelkor16.hpp
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT pelkor16Targets NAMESPACE pelkor16:: DESTINATION ${PELKOR_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/pelkor16Config.cmake.in
  ${PROJECT_BINARY_DIR}/pelkor16Config.cmake INSTALL_DESTINATION ${PELKOR_CMAKE_DIR})
# 0.x releases make no promise across minor versions.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/pelkor16ConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/pelkor16Config.cmake ${PROJECT_BINARY_DIR}/pelkor16ConfigVersion.cmake
  DESTINATION ${PELKOR_CMAKE_DIR})

# pkg-config: the prefix is found from the .pc file's own place, so that
# `cmake --install --prefix` and a moved tree both work (GNUInstallDirs may give absolute
# directories; those stay as they are).
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(PELKOR_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH pc_to_prefix /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
  set(PELKOR_PC_PREFIX "\${pcfiledir}/${pc_to_prefix}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(PELKOR_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  set(PELKOR_PC_LIBDIR "\${exec_prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(PELKOR_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(PELKOR_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/pelkor16.pc.in ${PROJECT_BINARY_DIR}/pelkor16.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/pelkor16.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(TARGET pelkor AND TARGET phonesim)
  # The installed tool finds the library through a RUNPATH relative to itself, phonesim
  # beside itself and the examples under the data directory, so the prefix can move.
  file(RELATIVE_PATH PELKOR_BIN_TO_LIB
       ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set_target_properties(pelkor PROPERTIES INSTALL_RPATH "$ORIGIN/${PELKOR_BIN_TO_LIB}")
  install(TARGETS pelkor phonesim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/pelkor16/examples)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/man/pelkor.1 ${PROJECT_SOURCE_DIR}/docs/man/phonesim.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

if(TARGET pelkor-smsd)
  # The SMS gateway daemon: its RUNPATH as the tool's; the systemd unit where systemd
  # looks under the prefix (lib/systemd/system), its ExecStart pointing at the installed
  # daemon; the sample configuration and the daemon's guide beside the other documents.
  file(RELATIVE_PATH PELKOR_SMSD_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set_target_properties(pelkor-smsd PROPERTIES INSTALL_RPATH "$ORIGIN/${PELKOR_SMSD_TO_LIB}")
  install(TARGETS pelkor-smsd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Written at install time, so that `cmake --install --prefix` is the prefix it names.
  install(CODE "
    file(READ \"${PROJECT_SOURCE_DIR}/tools/smsd/pelkor-smsd.service\" unit)
    set(bindir \"${CMAKE_INSTALL_BINDIR}\")
    if(NOT IS_ABSOLUTE \"\${bindir}\")
      set(bindir \"\${CMAKE_INSTALL_PREFIX}/\${bindir}\")
    endif()
    string(REPLACE \"/usr/local/bin/pelkor-smsd\" \"\${bindir}/pelkor-smsd\" unit \"\${unit}\")
    set(target \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/system/pelkor-smsd.service\")
    message(STATUS \"Installing: \${target}\")
    file(WRITE \"\${target}\" \"\${unit}\")
  ")
  install(FILES ${PROJECT_SOURCE_DIR}/tools/smsd/pelkor-smsd.conf ${PROJECT_SOURCE_DIR}/docs/smsd.md
    DESTINATION ${CMAKE_INSTALL_DOCDIR}/smsd)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/man/pelkor-smsd.8 DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
endif()
