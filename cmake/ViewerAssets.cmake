# The viewer page's script: three.js and viewer/src bundled by esbuild into one classic script (pages
# opened from file:// cannot load modules), embedded with the page template into the runner. Without
# node or viewer/node_modules (scripts/setup.sh runs `npm ci`) the runner builds without the page.
set(VEX_VIEWER_DIR "${PROJECT_SOURCE_DIR}/viewer")
find_program(VEX_NODE node)
set(VEX_ESBUILD "${VEX_VIEWER_DIR}/node_modules/esbuild/package.json")

function(vex_viewer_assets out_cpp)
  set(template "${VEX_VIEWER_DIR}/page.html")
  set(generated "${CMAKE_CURRENT_BINARY_DIR}/ViewerAssets.cpp")
  if(VEX_NODE AND EXISTS "${VEX_ESBUILD}" AND EXISTS "${VEX_VIEWER_DIR}/node_modules/three/package.json")
    set(script "${CMAKE_CURRENT_BINARY_DIR}/viewer.js")
    file(GLOB sources CONFIGURE_DEPENDS "${VEX_VIEWER_DIR}/src/*.js")
    add_custom_command(OUTPUT "${script}"
      COMMAND "${VEX_NODE}" build.js "${script}"
      DEPENDS ${sources} "${VEX_VIEWER_DIR}/build.js" "${VEX_VIEWER_DIR}/package-lock.json"
      WORKING_DIRECTORY "${VEX_VIEWER_DIR}"
      COMMENT "Bundling the viewer page's script"
      VERBATIM)
  else()
    message(WARNING "node or viewer/node_modules not found (run scripts/setup.sh): vexhost is built without "
                    "the viewer page and `vexhost view` will say so")
    set(script "")
  endif()
  add_custom_command(OUTPUT "${generated}"
    COMMAND "${CMAKE_COMMAND}" "-DTEMPLATE=${template}" "-DSCRIPT=${script}" "-DOUT=${generated}"
            -P "${PROJECT_SOURCE_DIR}/cmake/EmbedViewer.cmake"
    DEPENDS "${template}" ${script} "${PROJECT_SOURCE_DIR}/cmake/EmbedViewer.cmake"
    COMMENT "Embedding the viewer page"
    VERBATIM)
  set(${out_cpp} "${generated}" PARENT_SCOPE)
endfunction()
