# Helpers shared by every folder.

# vex_add_channel_library(<target> GUID <guid> SOURCES <src...> [LINKS <targets...>])
# A channel library is a shared library named by its type GUID ("<GUID>.so", no "lib" prefix) that
# exports GetType and InitDLL. It installs to VEX_CHANNEL_INSTALL_DIR under the installing project's
# prefix: the folder, relative to the prefix, that the installed runner searches. The Vex build sets it;
# the installed package's configuration sets the value the runner was built with.
if(NOT DEFINED VEX_CHANNEL_INSTALL_DIR)
  include(GNUInstallDirs)
  set(VEX_CHANNEL_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/vex)
endif()

function(vex_add_channel_library target)
  cmake_parse_arguments(ARG "" "GUID" "SOURCES;LINKS" ${ARGN})
  add_library(${target} SHARED ${ARG_SOURCES})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${ARG_GUID} PREFIX "" SUFFIX ".so")
  target_link_libraries(${target} PUBLIC Vexcore PRIVATE ${ARG_LINKS})
  # A library that calls no C function itself would otherwise not name the C library it runs with.
  target_link_options(${target} PRIVATE "LINKER:--push-state,--no-as-needed,-lc,--pop-state")
  # Only the Vex build exports its libraries (so a consumer can link a sibling it derives from).
  if(PROJECT_NAME STREQUAL "Vex")
    install(TARGETS ${target} EXPORT VexcoreTargets LIBRARY DESTINATION ${VEX_CHANNEL_INSTALL_DIR})
  else()
    install(TARGETS ${target} LIBRARY DESTINATION ${VEX_CHANNEL_INSTALL_DIR})
  endif()
endfunction()

# Subfolders that hold a CMakeLists.txt, so each folder's owner adds its own without touching the parent.
function(vex_add_subfolders)
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# vex_add_test(<name> SOURCES <src...> [LINKS <targets...>] [DEPENDS <targets...>])
# A GoogleTest executable registered with CTest. VEX_PLUGIN_DIR points at the built channel libraries;
# DEPENDS names libraries the test loads at run time (built before it).
function(vex_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS;DEPENDS" ${ARGN})
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main GTest::gmock Vexcore ${ARG_LINKS})
  target_compile_definitions(${name} PRIVATE VEX_PLUGIN_DIR="${VEX_BIN_DIR}"
                                             VEX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(ARG_DEPENDS)
    add_dependencies(${name} ${ARG_DEPENDS})
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ENVIRONMENT "VEX_PLUGIN_PATH=${VEX_BIN_DIR}")
endfunction()
