#include "host/Version.h"

#include "VexBuildVersion.h"

namespace vex {

const char* VersionText() { return VEX_VERSION; }

const char* GitCommitText() { return VEX_GIT_COMMIT; }

std::string VersionLine()
{
    const std::string commit = GitCommitText();
    return std::string("Vex ") + VersionText() + (commit.empty() ? "" : " (git " + commit + ")");
}

} // namespace vex
