# Install rules of the library, in the components that the Debian packages take: "runtime" (the
# shared library), "dev" (headers, the link, the archive, the CMake package, QorUtils.pc) and
# "tools" (tools/CMakeLists.txt). Included by the top CMakeLists.txt when QORUTILS_INSTALL is on.
install(TARGETS QorUtils EXPORT QorUtilsTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(DIRECTORY include/QorUtils DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev
    FILES_MATCHING PATTERN "*.h")
install(EXPORT QorUtilsTargets NAMESPACE QorUtils::
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/QorUtils COMPONENT dev)
configure_package_config_file(cmake/QorUtilsConfig.cmake.in
    ${PROJECT_BINARY_DIR}/QorUtilsConfig.cmake
    INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/QorUtils)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QorUtilsConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QorUtilsConfig.cmake
              ${PROJECT_BINARY_DIR}/QorUtilsConfigVersion.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/QorUtils COMPONENT dev)

# The .pc file locates its prefix from its own place, so a staged install works too. A library
# directory given as an absolute path is where it is whatever the prefix: the file then names
# the prefix it was configured with. An absolute header directory is named as it is. A host of
# the shared library never links expat itself; a host of the archive must, and gets it (and
# -pthread, which glibc before 2.34 needs) from plain `pkg-config --libs` without having to know
# that the library is static.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
    set(QORUTILS_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
    set(QORUTILS_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
    file(RELATIVE_PATH QORUTILS_PC_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
    string(PREPEND QORUTILS_PC_PREFIX "\${pcfiledir}/")
    set(QORUTILS_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
    set(QORUTILS_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
    set(QORUTILS_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
if(QORUTILS_LIBRARY_TYPE STREQUAL "STATIC")
    set(QORUTILS_PC_EXPAT "Requires: expat")
    set(QORUTILS_PC_LIBS " -pthread")
    set(QORUTILS_PC_CFLAGS " -DQORUTILS_STATIC")
else()
    set(QORUTILS_PC_EXPAT "Requires.private: expat")
    set(QORUTILS_PC_LIBS "")
    set(QORUTILS_PC_CFLAGS "")
endif()
configure_file(cmake/QorUtils.pc.in ${PROJECT_BINARY_DIR}/QorUtils.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/QorUtils.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    COMPONENT dev)

# Debian packages (`cpack -G DEB`, `make package`) of the shared library built as a project of
# its own.
if(PROJECT_IS_TOP_LEVEL AND QORUTILS_LIBRARY_TYPE STREQUAL "SHARED")
    include(cmake/QorUtilsPackaging.cmake)
endif()
