# The Debian package: runner, host library, channel libraries, headers and the CMake package, built with
#   cpack --config build/CPackConfig.cmake -G DEB -B <folder>
# It installs under /usr; the runner finds the channel libraries in ../lib/vex relative to itself.
set(CPACK_PACKAGE_NAME vex)
set(CPACK_PACKAGE_VENDOR "Vex")
set(CPACK_PACKAGE_CONTACT "Vex maintainers <vex@localhost>")
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
include(CPack)
