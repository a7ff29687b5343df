// Conversions between the engine matrix (float, row vectors, scale in the rows) and the ODE pose
// (double, column vectors, no scale), and placing or reading the body.
#include "body/Tvc_ODE_BodyCollision.h"

#include "body/BodySoundness.h"
#include "host/ChildLink.h"

namespace {

float RowLength(const D3DXMATRIX& m, int row)
{
    const D3DXVECTOR3 v(m.m[row][0], m.m[row][1], m.m[row][2]);
    return D3DXVec3Length(&v);
}

} // namespace

D3DXMATRIX Tvc_ODE_BodyCollision::GetOldMatrix() { return oldMatrix; }

D3DXMATRIX Tvc_ODE_BodyCollision::Identity()
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

D3DXMATRIX Tvc_ODE_BodyCollision::StartMatrix()
{
    auto* start = vex::LinkedChild<Tvc_MatrixChannel>(*this, 0);
    return start ? start->GetMatrix() : Identity();
}

void Tvc_ODE_BodyCollision::GetODERotationMatrix(D3DXMATRIX m, dReal* R)
{
    if (!R)
        return;
    // Row c of the engine matrix is column c of the ODE rotation.
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            R[4 * r + c] = m.m[c][r];
        R[4 * r + 3] = 0;
    }
}

D3DXMATRIX Tvc_ODE_BodyCollision::GetMatrixRotation(D3DXMATRIX m)
{
    D3DXMATRIX result;
    for (int row = 0; row < 3; ++row) {
        D3DXVECTOR3 v(m.m[row][0], m.m[row][1], m.m[row][2]);
        // Rows are normalised one by one (no orthogonalisation); a zero row stays zero.
        if (v.x != 0 || v.y != 0 || v.z != 0)
            D3DXVec3Normalize(&v, &v);
        result.m[row][0] = v.x;
        result.m[row][1] = v.y;
        result.m[row][2] = v.z;
        result.m[row][3] = 0;
    }
    result._44 = 1;
    return result;
}

void Tvc_ODE_BodyCollision::PlaceBodyAtMatrix(const D3DXMATRIX& s)
{
    // ODE stops the process on a rotation it cannot normalise; a body is never placed at such a matrix.
    if (!vex::body::MatrixIsUsable(s))
        return;
    dMatrix3 R;
    GetODERotationMatrix(GetMatrixRotation(s), R);
    // A matrix scaled to zero along an axis (or with parallel axes) has no rotation ODE can take.
    vex::body::MakePlaceableRotation(R);
    // The ODE body sits at the centre of mass: the frame's origin plus the turned centre offset.
    const dReal* c = massCentre_;
    dBodySetPosition(bodyID, s._41 + R[0] * c[0] + R[1] * c[1] + R[2] * c[2],
                     s._42 + R[4] * c[0] + R[5] * c[1] + R[6] * c[2], s._43 + R[8] * c[0] + R[9] * c[1] + R[10] * c[2]);
    dBodySetRotation(bodyID, R);
    bodyScale = D3DXVECTOR3(RowLength(s, 0), RowLength(s, 1), RowLength(s, 2));
}

void Tvc_ODE_BodyCollision::SetBodyPositionFromMatrix()
{
    if (!bodyID)
        return;
    PlaceBodyAtMatrix(StartMatrix());
}

void Tvc_ODE_BodyCollision::SetBodyPositionFromOldMatrix()
{
    if (!bodyID)
        return;
    PlaceBodyAtMatrix(oldMatrix);
}

D3DXMATRIX Tvc_ODE_BodyCollision::GetBodyMatrix(bool sized)
{
    auto* first = static_cast<ODE_GeometryItem*>(geometryItems.GetItem(0));
    // A plane has no pose to read (ODE would stop the process on the attempt).
    if (!first || !first->geom || dGeomGetClass(first->geom) == dPlaneClass)
        return Identity();
    // On a dynamic body item 0's geom is its transform, which rides on the body.
    const dReal* R = dGeomGetRotation(first->geom);
    const dReal* centre = dGeomGetPosition(first->geom);
    // Back from the centre of mass to the body frame (see massCentre_).
    const dReal* c = dGeomGetBody(first->geom) ? massCentre_ : nullptr;
    dReal p[3] = {centre[0], centre[1], centre[2]};
    if (c)
        for (int i = 0; i < 3; ++i)
            p[i] -= R[4 * i] * c[0] + R[4 * i + 1] * c[1] + R[4 * i + 2] * c[2];
    D3DXMATRIX m(static_cast<float>(R[0]), static_cast<float>(R[4]), static_cast<float>(R[8]), 0,
                 static_cast<float>(R[1]), static_cast<float>(R[5]), static_cast<float>(R[9]), 0,
                 static_cast<float>(R[2]), static_cast<float>(R[6]), static_cast<float>(R[10]), 0,
                 static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2]), 1);
    if (sized) {
        D3DXMATRIX scale;
        D3DXMatrixScaling(&scale, bodyScale.x, bodyScale.y, bodyScale.z);
        D3DXMatrixMultiply(&m, &scale, &m);
    }
    return m;
}

D3DXMATRIX Tvc_ODE_BodyCollision::GetNonSizedBodyMatrix()
{
    if (GetIfRunningDynamics())
        return GetBodyMatrix(false);
    auto* start = vex::LinkedChild<Tvc_MatrixChannel>(*this, 0);
    if (!start)
        return Identity();
    const D3DXMATRIX s = start->GetMatrix();
    const D3DXMATRIX rotation = GetMatrixRotation(s);
    D3DXMATRIX translation;
    D3DXMatrixTranslation(&translation, s._41, s._42, s._43);
    D3DXMATRIX result;
    D3DXMatrixMultiply(&result, &rotation, &translation);
    return result;
}
