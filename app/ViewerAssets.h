#pragma once
// The viewer page's template and bundled script, embedded at build time (generated ViewerAssets.cpp).

#include <cstddef>

namespace vex::app {

extern const char kViewerTemplate[];
extern const size_t kViewerTemplateSize;
extern const char kViewerScript[];
/// 0 when the build had no node to bundle the script: the runner then writes no page.
extern const size_t kViewerScriptSize;

} // namespace vex::app
