#pragma once
// Bad input to the runner (a scene, a project, a command-line value): one line naming the file, the field
// and the problem. The runner prints it and exits with status 2.

#include <stdexcept>
#include <string>

namespace vex::app {

class InputError : public std::runtime_error {
public:
    InputError(std::string file, std::string field, std::string problem)
        : std::runtime_error(Format(file, field, problem)), file_(std::move(file)), field_(std::move(field)),
          problem_(std::move(problem))
    {
    }

    const std::string& File() const { return file_; }
    const std::string& Field() const { return field_; }
    const std::string& Problem() const { return problem_; }

private:
    static std::string Format(const std::string& file, const std::string& field, const std::string& problem)
    {
        return file + ": " + (field.empty() ? std::string() : field + ": ") + problem;
    }

    std::string file_;
    std::string field_;
    std::string problem_;
};

/// A failure while running (a plug-in that cannot be loaded, an output that cannot be written): status 1.
class RunError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace vex::app
