# The Debian package: runner, host library, channel libraries, headers and the CMake package, built with
#   cpack --config build/CPackConfig.cmake -G DEB -B <folder>
# It installs under /usr; the runner finds the channel libraries in ../lib/vex relative to itself.
set(CPACK_PACKAGE_NAME vex)
set(CPACK_PACKAGE_VENDOR "Vex")
set(VEX_PACKAGE_CONTACT "Vex maintainers <vex@example.org>" CACHE STRING "Maintainer of the Debian package")
set(CPACK_PACKAGE_CONTACT "${VEX_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "scene-graph engine host with rigid-body and light-map channel libraries")
set(CPACK_PACKAGE_DESCRIPTION "The Vexcore host, its channel libraries (rigid bodies on ODE, baked light
maps with traced shadows, and the sibling channels they use) and the vexhost runner, with the headers
and the CMake package for building channel libraries of one's own.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# Runtime dependencies come from the libraries the binaries link (dpkg-shlibdeps, from dpkg-dev); building
# a channel library against the package also needs a compiler, CMake, pkg-config and the ODE headers.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "g++, cmake, pkg-config, libode-dev")
# Debian's documentation files, installed with every install: the copyright notice and a gzipped changelog
# (gzip -n, so the package does not change with the build time).
set(vex_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_PACKAGE_NAME})
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
execute_process(COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/packaging/changelog RESULT_VARIABLE vex_gzip_failed)
if(vex_gzip_failed)
  message(FATAL_ERROR "gzip could not compress ${CMAKE_BINARY_DIR}/packaging/changelog")
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  DESTINATION ${vex_doc_dir})
# Debian ships binaries stripped (lintian counts unstripped ones as errors).
set(CPACK_STRIP_FILES ON)
include(CPack)
