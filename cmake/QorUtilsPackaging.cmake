# Debian packages of the shared library, made by `cpack -G DEB` (or `make package`) from a build
# configured with -DCMAKE_INSTALL_PREFIX=/usr, so that the paths are Debian's own:
#   libqorutilsN     the shared library (N: the SONAME's major version)
#   libqorutils-dev  headers, the unversioned link, the CMake package and QorUtils.pc
#   qorutils-tools   qorxml and its manual page
# dpkg-shlibdeps computes what the binaries need; the packages of one build depend on each other
# at exactly that build's version.
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    message(STATUS "Debian packages want -DCMAKE_INSTALL_PREFIX=/usr (this build: "
                   "${CMAKE_INSTALL_PREFIX})")
endif()

set(QORUTILS_PACKAGE_CONTACT "QorUtils developers <qorutils@example.org>" CACHE STRING
    "Maintainer field of the Debian packages")
set(qorutils_runtime_package libqorutils${PROJECT_VERSION_MAJOR})
set(qorutils_dev_package libqorutils-dev)
set(qorutils_tools_package qorutils-tools)

# Every Debian package carries its copyright file and its changelog in /usr/share/doc/PACKAGE.
# They belong to the packages only, not to a plain `cmake --install`.
string(TIMESTAMP qorutils_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(cmake/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
execute_process(COMMAND gzip -9 -n -f -k changelog
                WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/debian RESULT_VARIABLE gzip_status)
if(NOT gzip_status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${PROJECT_BINARY_DIR}/debian/changelog")
endif()
foreach(component IN ITEMS runtime dev tools)
    install(FILES cmake/debian/copyright ${PROJECT_BINARY_DIR}/debian/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${qorutils_${component}_package}
        COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qorutils)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# CPack puts the summary before every package's description unless it is left at its default;
# each package's description below begins with a synopsis of its own.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
set(CPACK_PACKAGE_CONTACT ${QORUTILS_PACKAGE_CONTACT})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE qorutils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# qorxml's own library is found in the build tree; its dependency comes from the components'.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${qorutils_runtime_package})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# The loader's cache is updated by dpkg's ldconfig trigger; these maintainer scripts take the
# place of the ones CPack would write, which call ldconfig themselves.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers
    ${PROJECT_SOURCE_DIR}/cmake/debian/postinst ${PROJECT_SOURCE_DIR}/cmake/debian/postrm)
install(FILES cmake/debian/libqorutils.lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
    RENAME ${qorutils_runtime_package} COMPONENT runtime EXCLUDE_FROM_ALL)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
"utility classes shared by simulation modules
QorUtils gives the modules of a simulation system one vocabulary and
ready-made base classes: a variant value, a chain of severity-tagged
messages, an object model with counted handles and cursors, a top entry
with observers, a plain-text error log, and an XML reading framework (a
tree of element handlers fed by a SAX reader over expat).
.
This package contains the shared library.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${qorutils_dev_package})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The CMake package finds expat, and QorUtils.pc names it, for hosts that link statically.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libexpat1-dev")
set(CPACK_DEBIAN_DEV_DESCRIPTION
"utility classes shared by simulation modules (development files)
QorUtils gives the modules of a simulation system one vocabulary and
ready-made base classes: a variant value, a chain of severity-tagged
messages, an object model with counted handles and cursors, a top entry
with observers, a plain-text error log, and an XML reading framework.
.
This package contains the C++ headers, the CMake package (QorUtils::QorUtils)
and the pkg-config file needed to build modules against the library.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${qorutils_tools_package})
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION text)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
"command-line tools of the QorUtils library
qorxml reads XML documents through the QorUtils reader and handler tree,
and prints an outline of their elements or one line per event, with
counts, error lines and exit statuses. It shows what a module's element
handlers would receive from a document.")

include(CPack)
