#include "app/Trajectory.h"

#include "app/GraphWalk.h"

#include "app/InputError.h"
#include "host/TavFileSaver.h"
#include "host/Vexcore.h"
#include "host/siblings/Tav_BodySetupInterface.h"
#include "host/siblings/Tvc_MatrixChannel.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/world/WorldConstants.h"

#include <cmath>
#include <cstdio>

namespace vex::app {

namespace {

/// Shortest text that reads back as the same float.
void AppendFloat(std::string& out, float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
    out += text;
}

} // namespace

std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

Quaternion QuaternionFromMatrix(const D3DXMATRIX& m)
{
    // Rows carry the axes' scales; normalise them to get the rotation. With row vectors the matrix is the
    // transpose of the column-vector rotation R, so R(i, j) = m(j, i).
    double r[3][3];
    for (int row = 0; row < 3; ++row) {
        const double len = std::sqrt(double(m.m[row][0]) * m.m[row][0] + double(m.m[row][1]) * m.m[row][1] +
                                     double(m.m[row][2]) * m.m[row][2]);
        for (int col = 0; col < 3; ++col)
            r[col][row] = len > 0 ? m.m[row][col] / len : (row == col ? 1.0 : 0.0);
    }
    // Shepperd's method: start from the largest of w, x, y, z for accuracy.
    double w, x, y, z;
    const double trace = r[0][0] + r[1][1] + r[2][2];
    if (trace > 0) {
        const double s = std::sqrt(trace + 1.0) * 2;
        w = 0.25 * s;
        x = (r[2][1] - r[1][2]) / s;
        y = (r[0][2] - r[2][0]) / s;
        z = (r[1][0] - r[0][1]) / s;
    } else if (r[0][0] > r[1][1] && r[0][0] > r[2][2]) {
        const double s = std::sqrt(1.0 + r[0][0] - r[1][1] - r[2][2]) * 2;
        w = (r[2][1] - r[1][2]) / s;
        x = 0.25 * s;
        y = (r[0][1] + r[1][0]) / s;
        z = (r[0][2] + r[2][0]) / s;
    } else if (r[1][1] > r[2][2]) {
        const double s = std::sqrt(1.0 + r[1][1] - r[0][0] - r[2][2]) * 2;
        w = (r[0][2] - r[2][0]) / s;
        x = (r[0][1] + r[1][0]) / s;
        y = 0.25 * s;
        z = (r[1][2] + r[2][1]) / s;
    } else {
        const double s = std::sqrt(1.0 + r[2][2] - r[0][0] - r[1][1]) * 2;
        w = (r[1][0] - r[0][1]) / s;
        x = (r[0][2] + r[2][0]) / s;
        y = (r[1][2] + r[2][1]) / s;
        z = 0.25 * s;
    }
    const double len = std::sqrt(w * w + x * x + y * y + z * z);
    const double sign = w < 0 ? -1.0 : 1.0;
    return {static_cast<float>(sign * w / len), static_cast<float>(sign * x / len), static_cast<float>(sign * y / len),
            static_cast<float>(sign * z / len)};
}

std::vector<Tav_Channel*> FindBodies(const Vexcore& host)
{
    std::vector<Tav_Channel*> bodies;
    for (Tav_Channel* channel : host.GetChannels())
        if (IsType(channel, guids::kBody))
            bodies.push_back(channel);
    return bodies;
}

std::vector<Tav_Channel*> FindMatrixChannels(const Vexcore& host)
{
    std::vector<Tav_Channel*> matrices;
    const _GUID matrixType = Guid(guids::kMatrix);
    for (Tav_Channel* channel : host.GetChannels()) {
        const ChannelType type = channel->GetChannelType();
        if (type.typeGuid == matrixType || type.baseTypeGuid == matrixType)
            matrices.push_back(channel);
    }
    return matrices;
}

D3DXMATRIX StoredMatrix(Tav_Channel* channel)
{
    // Not GetMatrix: a body's would run (or re-run) its frame evaluation.
    return static_cast<Tvc_MatrixChannel*>(channel)->GetStoredMatrix();
}

Trajectory::Trajectory(const Vexcore& host, const std::string& path, unsigned long every)
    : host_(host), bodies_(FindBodies(host)), path_(path), every_(every ? every : 1)
{
    std::string error;
    if (!file_.Open(path, &error))
        throw RunError("cannot write " + path + ": " + error);
    pending_ = kTrajectoryHeader;
}

const char* const kTrajectoryHeader = "frame,time,name,x,y,z,qw,qx,qy,qz\n";

void AppendTrajectoryRows(std::string& text, const Vexcore& host, const std::vector<Tav_Channel*>& bodies,
                          unsigned long frame, double seconds)
{
    char head[64];
    std::snprintf(head, sizeof head, "%lu,%.6f,", frame, seconds);
    for (Tav_Channel* body : bodies) {
        const D3DXMATRIX m = StoredMatrix(body);
        const Quaternion q = QuaternionFromMatrix(m);
        text += head;
        text += CsvField(host.GetChannelName(body));
        for (float v : {m._41, m._42, m._43, q.w, q.x, q.y, q.z}) {
            text += ',';
            AppendFloat(text, v);
        }
        text += '\n';
    }
}

void Trajectory::Record(unsigned long frame, double seconds)
{
    if (frame % every_ != 0)
        return;
    AppendTrajectoryRows(pending_, host_, bodies_, frame, seconds);
    rows_ += bodies_.size();
    if (++buffered_ >= kFlushFrames)
        Flush();
}

void Trajectory::Flush()
{
    std::string error;
    if (!file_.Write(pending_.data(), pending_.size(), &error))
        throw RunError("cannot write " + path_ + ": " + error);
    pending_.clear();
    buffered_ = 0;
}

void Trajectory::Finish()
{
    Flush();
    std::string error;
    if (!file_.Commit(&error))
        throw RunError("cannot write " + path_ + ": " + error);
}

std::string MatricesCsv(const Vexcore& host)
{
    std::string text = "name,m11,m12,m13,m14,m21,m22,m23,m24,m31,m32,m33,m34,m41,m42,m43,m44\n";
    for (Tav_Channel* channel : FindMatrixChannels(host)) {
        const D3DXMATRIX m = StoredMatrix(channel);
        text += CsvField(host.GetChannelName(channel));
        for (int i = 0; i < 16; ++i) {
            text += ',';
            AppendFloat(text, m.m[i / 4][i % 4]);
        }
        text += '\n';
    }
    return text;
}

RestCount CountBodiesAtRest(const Vexcore& host)
{
    RestCount count;
    for (Tav_Channel* channel : FindBodies(host)) {
        auto* body = dynamic_cast<Tav_BodySetupInterface*>(channel);
        if (!body || !body->GetBodyID())
            continue;
        ++count.dynamic;
        const D3DXMATRIX m = StoredMatrix(channel);
        bool inside = true;
        for (float v : {m._41, m._42, m._43})
            inside = inside && std::isfinite(v) && std::fabs(v) <= vex::world::kSpaceLimit;
        const D3DXVECTOR3 v = body->GetLinearVelocityVector();
        // A body put back at its start after an overflow stands still there, but it did not come to rest.
        if (body->GetStateResetCount() > 0)
            count.reset.push_back(host.GetChannelName(channel));
        else if (!inside)
            count.outside.push_back(host.GetChannelName(channel));
        else if (D3DXVec3Length(&v) < kRestSpeed)
            ++count.atRest;
    }
    return count;
}

void WriteOutputFile(const std::string& path, const std::string& text)
{
    std::string error;
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    if (!TavFileSaver::WriteFileAtomically(path, bytes, &error))
        throw RunError("cannot write " + path + ": " + error);
}

} // namespace vex::app
