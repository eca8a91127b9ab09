# Installation and packaging: the shared library with a versioned SONAME, the public headers,
# qeltitle, a pkg-config file and a CMake package whose imported target is QEL::Title2.
#
#   cmake --install build --prefix /opt/qel      (or: make install PREFIX=/opt/qel)
#
# Hosts then build with `pkg-config --cflags --libs qel-title2`, or in CMake with
#   find_package(QEL_Title2 REQUIRED)
#   target_link_libraries(app PRIVATE QEL::Title2)
# Both files locate the prefix from where they are installed, so an installed tree may be moved.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# libQEL_Title2.so -> libQEL_Title2.so.2 (the SONAME) -> libQEL_Title2.so.2.0. The major number
# changes only when the operation table or a record changes incompatibly.
set_target_properties(QEL_Title2 PROPERTIES
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR} EXPORT_NAME Title2)
# Inside the build tree the headers come from the source tree; installed, from include/.
set_property(TARGET QEL_Title2 PROPERTY INTERFACE_INCLUDE_DIRECTORIES
  $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
# The C++ header uses C++17 (static_assert without a message, char16_t records).
target_compile_features(QEL_Title2 INTERFACE cxx_std_17)

qel_install_needs($<TARGET_FILE:QEL_Title2>)
install(TARGETS QEL_Title2 EXPORT QEL_Title2Targets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/qel DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT development FILES_MATCHING PATTERN "*.h")
if(TARGET qeltitle)
  # qeltitle finds the library beside it in the installed tree.
  set_target_properties(qeltitle PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  install(TARGETS qeltitle RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endif()

# pkg-config: paths relative to the .pc file's own directory (${pcfiledir}).
set(QEL_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  message(FATAL_ERROR "CMAKE_INSTALL_LIBDIR and CMAKE_INSTALL_INCLUDEDIR must be relative to the prefix")
endif()
file(RELATIVE_PATH QEL_PC_TO_PREFIX /prefix/${QEL_PC_DIR} /prefix)
configure_file(${CMAKE_SOURCE_DIR}/cmake/qel-title2.pc.in ${CMAKE_BINARY_DIR}/qel-title2.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/qel-title2.pc DESTINATION ${QEL_PC_DIR} COMPONENT development)

# CMake package: QEL_Title2Config.cmake, its version file and the exported target.
set(QEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/QEL_Title2)
install(EXPORT QEL_Title2Targets NAMESPACE QEL:: DESTINATION ${QEL_CMAKE_DIR} COMPONENT development)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/QEL_Title2Config.cmake.in
  ${CMAKE_BINARY_DIR}/QEL_Title2Config.cmake INSTALL_DESTINATION ${QEL_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/QEL_Title2ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/QEL_Title2Config.cmake ${CMAKE_BINARY_DIR}/QEL_Title2ConfigVersion.cmake
        DESTINATION ${QEL_CMAKE_DIR} COMPONENT development)

# Every target exists now: the list of built files the install needs can be written.
qel_install_check_write()
