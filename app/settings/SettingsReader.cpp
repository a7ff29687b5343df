#include "app/settings/SettingsReader.h"

#include "common/SceneLimits.h"

#include <cmath>
#include <numbers>

namespace vex::app {

namespace {

std::string Describe(float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
    return text;
}

} // namespace

std::string JsonKindName(const nlohmann::json& value)
{
    switch (value.type()) {
    case nlohmann::json::value_t::null:
        return "null";
    case nlohmann::json::value_t::object:
        return "an object";
    case nlohmann::json::value_t::array:
        return "an array";
    case nlohmann::json::value_t::string:
        return "a string";
    case nlohmann::json::value_t::boolean:
        return "a boolean";
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned:
    case nlohmann::json::value_t::number_float:
        return "a number";
    default:
        return "an unsupported value";
    }
}

SettingsReader::SettingsReader(const nlohmann::json& object, std::string file, std::string path)
    : object_(object), file_(std::move(file)), path_(std::move(path))
{
    if (!object_.is_object() && !object_.is_null())
        throw InputError(file_, path_, "expected an object, found " + JsonKindName(object_));
}

bool SettingsReader::Has(const char* key) const { return object_.is_object() && object_.contains(key); }

void SettingsReader::Fail(const char* key, const std::string& problem) const
{
    throw InputError(file_, FieldPath(key), problem);
}

const nlohmann::json& SettingsReader::Raw(const char* key)
{
    static const nlohmann::json kNull;
    read_.insert(key);
    if (!Has(key))
        return kNull;
    return object_.at(key);
}

SettingsReader SettingsReader::Object(const char* key)
{
    const nlohmann::json& value = Raw(key);
    if (!value.is_object() && !value.is_null())
        Fail(key, "expected an object, found " + JsonKindName(value));
    return SettingsReader(value, file_, FieldPath(key));
}

bool SettingsReader::Bool(const char* key, bool& out)
{
    const nlohmann::json& value = Raw(key);
    if (value.is_null())
        return false;
    if (!value.is_boolean())
        Fail(key, "expected true or false, found " + JsonKindName(value));
    out = value.get<bool>();
    return true;
}

bool SettingsReader::Float(const char* key, float& out, float min, float max)
{
    const nlohmann::json& value = Raw(key);
    if (value.is_null())
        return false;
    if (!value.is_number())
        Fail(key, "expected a number, found " + JsonKindName(value));
    const double d = value.get<double>();
    const float f = static_cast<float>(d);
    if (!std::isfinite(f))
        Fail(key, "number out of range");
    if (f < min || f > max)
        Fail(key, Describe(f) + " is outside [" + Describe(min) + ", " + Describe(max) + "]");
    out = f;
    return true;
}

bool SettingsReader::Int(const char* key, int& out, int min, int max)
{
    const nlohmann::json& value = Raw(key);
    if (value.is_null())
        return false;
    if (!value.is_number_integer())
        Fail(key,
             "expected a whole number, found " + (value.is_number() ? std::string("a fraction") : JsonKindName(value)));
    // Compare in the widest types so that huge values are refused rather than wrapped.
    const bool tooBig = value.is_number_unsigned() && value.get<unsigned long long>() > 0x7fffffffull;
    const long long v = tooBig ? 0 : value.get<long long>();
    if (tooBig || v < min || v > max)
        Fail(key, value.dump() + " is outside [" + std::to_string(min) + ", " + std::to_string(max) + "]");
    out = static_cast<int>(v);
    return true;
}

bool SettingsReader::String(const char* key, std::string& out)
{
    const nlohmann::json& value = Raw(key);
    if (value.is_null())
        return false;
    if (!value.is_string())
        Fail(key, "expected a string, found " + JsonKindName(value));
    out = value.get<std::string>();
    return true;
}

bool SettingsReader::Vec3(const char* key, D3DXVECTOR3& out, float min, float max)
{
    const nlohmann::json& value = Raw(key);
    if (value.is_null())
        return false;
    if (!value.is_array() || value.size() != 3)
        Fail(key, "expected [x, y, z], found " +
                      (value.is_array() ? "an array of " + std::to_string(value.size()) : JsonKindName(value)));
    float c[3];
    for (int i = 0; i < 3; ++i) {
        const nlohmann::json& e = value[static_cast<size_t>(i)];
        const std::string element = std::string(key) + "[" + std::to_string(i) + "]";
        if (!e.is_number())
            Fail(element.c_str(), "expected a number, found " + JsonKindName(e));
        c[i] = static_cast<float>(e.get<double>());
        if (!std::isfinite(c[i]))
            Fail(element.c_str(), "number out of range");
        if (c[i] < min || c[i] > max)
            Fail(element.c_str(), Describe(c[i]) + " is outside [" + Describe(min) + ", " + Describe(max) + "]");
    }
    out = D3DXVECTOR3(c[0], c[1], c[2]);
    return true;
}

bool SettingsReader::Matrix(const char* key, D3DXMATRIX& out)
{
    const nlohmann::json& value = Raw(key);
    if (value.is_null())
        return false;
    if (value.is_array()) {
        if (value.size() != 16)
            Fail(key, "expected 16 numbers or {position, rotation, scale}, found an array of " +
                          std::to_string(value.size()));
        D3DXMATRIX m;
        for (int i = 0; i < 16; ++i) {
            const nlohmann::json& e = value[static_cast<size_t>(i)];
            const std::string element = std::string(key) + "[" + std::to_string(i) + "]";
            if (!e.is_number())
                Fail(element.c_str(), "expected a number, found " + JsonKindName(e));
            const double v = e.get<double>();
            if (!(std::fabs(v) <= limits::kMaxMatrixEntry))
                Fail(element.c_str(), e.dump() + " is outside [" + Describe(-limits::kMaxMatrixEntry) + ", " +
                                          Describe(limits::kMaxMatrixEntry) + "]");
            m.m[i / 4][i % 4] = static_cast<float>(v);
        }
        out = m;
        return true;
    }
    if (!value.is_object())
        Fail(key, "expected 16 numbers or {position, rotation, scale}, found " + JsonKindName(value));

    SettingsReader parts(value, file_, FieldPath(key));
    D3DXVECTOR3 position(0, 0, 0), rotation(0, 0, 0), scale(1, 1, 1);
    parts.Vec3("position", position, -limits::kMaxCoordinate, limits::kMaxCoordinate);
    parts.Vec3("rotation", rotation, -36000.0f, 36000.0f);
    const nlohmann::json& s = parts.Raw("scale");
    if (s.is_number()) {
        float uniform = 1.0f;
        parts.Float("scale", uniform, -limits::kMaxExtent, limits::kMaxExtent);
        scale = D3DXVECTOR3(uniform, uniform, uniform);
    } else if (!s.is_null()) {
        parts.Vec3("scale", scale, -limits::kMaxExtent, limits::kMaxExtent);
    }
    parts.Finish();

    const float toRadians = std::numbers::pi_v<float> / 180.0f;
    D3DXMATRIX scaling, rx, ry, rz, translation;
    D3DXMatrixScaling(&scaling, scale.x, scale.y, scale.z);
    D3DXMatrixRotationX(&rx, rotation.x * toRadians);
    D3DXMatrixRotationY(&ry, rotation.y * toRadians);
    D3DXMatrixRotationZ(&rz, rotation.z * toRadians);
    D3DXMatrixTranslation(&translation, position.x, position.y, position.z);
    // Row vectors: scale first, then turn about x, y and z, then move.
    out = scaling * rx * ry * rz * translation;
    return true;
}

void SettingsReader::Finish() const
{
    if (!object_.is_object())
        return;
    for (auto it = object_.begin(); it != object_.end(); ++it)
        if (!read_.count(it.key()))
            throw InputError(file_, FieldPath(it.key().c_str()), "unknown field");
}

} // namespace vex::app
