#pragma once
// run.json, the manifest of an output folder: what produced it (command line, input file and its hash,
// version), each output with its size and hash, and whether the run completed. It is replaced by an
// "incomplete" one before the first output is written and rewritten last, so a folder never presents an
// earlier run's manifest, or a stopped run's files, as one complete result.

#include <string>
#include <vector>

namespace vex::app {

class RunManifest {
public:
    /// inputKind: "scene" or "project"; inputPath: the file the run read ("" for none).
    RunManifest(std::string folder, std::vector<std::string> commandLine, std::string inputKind, std::string inputPath);

    /// Writes the manifest that says the run has started; throws RunError when it cannot be written.
    void Begin();
    /// An output the run has written (a path in the folder), listed in the order given.
    void AddOutput(const std::string& path);
    const std::vector<std::string>& Outputs() const { return outputs_; }
    /// Writes the final manifest: status is the exit status, stop what ended an incomplete run (a signal's
    /// name or the error's text). Returns false (never throws) when it cannot be written, so a failure
    /// being reported is not hidden by a second one; the "started" manifest then stays.
    bool Finish(bool completed, int status, const std::string& stop);

    /// The file's SHA-256 in lower-case hex, "" when it cannot be read.
    static std::string FileSha256(const std::string& path);

private:
    std::string Text(bool completed, int status, const std::string& stop, bool started) const;

    std::string folder_;
    std::vector<std::string> commandLine_;
    std::string inputKind_;
    std::string inputPath_;
    std::vector<std::string> outputs_;
};

} // namespace vex::app
