#pragma once
// Reads one JSON settings object field by field with type checks, and refuses fields nobody read, so that
// a misspelt setting is an error instead of a silently ignored one.

#include "app/InputError.h"
#include "platform/D3DXMath.h"

#include <nlohmann/json.hpp>

#include <set>
#include <string>

namespace vex::app {

class SettingsReader {
public:
    /// `object` must outlive the reader; `path` names it in messages ("channels[2].settings").
    SettingsReader(const nlohmann::json& object, std::string file, std::string path);

    bool Has(const char* key) const;
    /// A nested reader for an object field (the field must be an object).
    SettingsReader Object(const char* key);
    /// Marks the field read and returns it (null json when absent).
    const nlohmann::json& Raw(const char* key);

    // Each reader leaves `out` untouched when the field is absent and returns whether it was present.
    bool Bool(const char* key, bool& out);
    /// A finite number that fits a float, within [min, max].
    bool Float(const char* key, float& out, float min = -3.4e38f, float max = 3.4e38f);
    bool Int(const char* key, int& out, int min, int max);
    bool String(const char* key, std::string& out);
    /// [x, y, z], each component within [min, max].
    bool Vec3(const char* key, D3DXVECTOR3& out, float min = -3.4e38f, float max = 3.4e38f);
    /// Sixteen numbers row by row, or {"position": [x,y,z], "rotation": [degrees about x, y, z],
    /// "scale": s or [sx, sy, sz]} composed as scale, then rotation about x, y, z, then position.
    bool Matrix(const char* key, D3DXMATRIX& out);

    /// Throws for the first field that no reader asked for.
    void Finish() const;

    std::string FieldPath(const char* key) const { return path_ + "." + key; }
    [[noreturn]] void Fail(const char* key, const std::string& problem) const;
    const std::string& File() const { return file_; }

private:
    const nlohmann::json& object_;
    std::string file_;
    std::string path_;
    std::set<std::string> read_;
};

/// "a number", "an array" ... for messages about a value of the wrong type.
std::string JsonKindName(const nlohmann::json& value);

} // namespace vex::app
