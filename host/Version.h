#pragma once
// The version of this build: the project's version and, when built from a git checkout, the commit.

#include <string>

namespace vex {

/// The project version ("0.1.0").
const char* VersionText();
/// The short git commit the build comes from; empty when built outside git (from a source tarball).
const char* GitCommitText();
/// "Vex 0.1.0 (git 1ee76d3c0a1b)", or "Vex 0.1.0" without a commit: written into saved projects.
std::string VersionLine();

} // namespace vex
