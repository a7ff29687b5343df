// Fifteen candidate axes: three face normals of each box and the nine cross products of their edges. The
// axis of least penetration wins; earlier axes win ties (so box 1's faces beat box 2's, and faces beat
// edges, also where single-precision rounding of the axes blurs the tie). Face contacts take the incident
// box's deepest corner, moved onto the reference face's rectangle; edge contacts the midpoint of the
// closest points of the two edge lines.
#include "body/collision/BoxBox.h"

#include "body/collision/CollisionConstants.h"

#include <cmath>
#include <limits>

namespace vex::collision {
namespace {

// Column i of an ODE rotation: the box's axis i.
double DotColumn(const double* R, int i, const double* v) { return R[i] * v[0] + R[4 + i] * v[1] + R[8 + i] * v[2]; }

double DotColumns(const double* Ra, int i, const double* Rb, int j)
{
    return Ra[i] * Rb[j] + Ra[4 + i] * Rb[4 + j] + Ra[8 + i] * Rb[8 + j];
}

// Centre plus sum of half sides along the axes, each signed by sign(i).
template <class Sign> void Corner(const double* p, const double* R, const double* half, Sign sign, double* out)
{
    for (int k = 0; k < 3; ++k)
        out[k] = p[k];
    for (int i = 0; i < 3; ++i) {
        const double s = sign(i) * half[i];
        out[0] += s * R[i];
        out[1] += s * R[4 + i];
        out[2] += s * R[8 + i];
    }
}

// Moves pos, within the plane of a box's face whose normal is axis `normalAxis`, onto that face's
// rectangle. The incident box's deepest corner can lie far beyond the face it meets (a slab corner several
// units from a small box); a contact there acts through a long lever and lets the box sink or rock.
void ClampIntoFace(const double* p, const double* R, const double* half, int normalAxis, double* pos)
{
    for (int i = 0; i < 3; ++i) {
        if (i == normalAxis)
            continue;
        const double d[3] = {pos[0] - p[0], pos[1] - p[1], pos[2] - p[2]};
        const double along = DotColumn(R, i, d);
        const double clamped = along < -half[i] ? -half[i] : (along > half[i] ? half[i] : along);
        for (int k = 0; k < 3; ++k)
            pos[k] += (clamped - along) * R[4 * k + i];
    }
}

} // namespace

void LineClosestApproach(const double* pa, const double* ua, const double* pb, const double* ub, double* outAlpha,
                         double* outBeta)
{
    const double p[3] = {pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2]};
    const double c = ua[0] * ub[0] + ua[1] * ub[1] + ua[2] * ub[2];
    const double q1 = ua[0] * p[0] + ua[1] * p[1] + ua[2] * p[2];
    const double q2 = -(ub[0] * p[0] + ub[1] * p[1] + ub[2] * p[2]);
    double d = 1 - c * c;
    if (d <= 0) {
        *outAlpha = 0;
        *outBeta = 0;
        return;
    }
    d = 1 / d;
    *outAlpha = (q1 + c * q2) * d;
    *outBeta = (c * q1 + q2) * d;
}

namespace {

/// Box 2 seen from box 1: the centres' offset (world and box 1's frame), the half sides, and the
/// rotation between the two frames (R) with its magnitudes (Q).
struct BoxPairFrame {
    double p[3], pp[3], A[3], B[3];
    double R11, R12, R13, R21, R22, R23, R31, R32, R33;
    double Q11, Q12, Q13, Q21, Q22, Q23, Q31, Q32, Q33;

    BoxPairFrame(const double* p1, const double* R1, const double* side1, const double* p2, const double* R2,
                 const double* side2)
        : p{p2[0] - p1[0], p2[1] - p1[1], p2[2] - p1[2]}, pp{DotColumn(R1, 0, p), DotColumn(R1, 1, p),
                                                             DotColumn(R1, 2, p)},
          A{side1[0] * 0.5, side1[1] * 0.5, side1[2] * 0.5}, B{side2[0] * 0.5, side2[1] * 0.5, side2[2] * 0.5},
          R11(DotColumns(R1, 0, R2, 0)), R12(DotColumns(R1, 0, R2, 1)), R13(DotColumns(R1, 0, R2, 2)),
          R21(DotColumns(R1, 1, R2, 0)), R22(DotColumns(R1, 1, R2, 1)), R23(DotColumns(R1, 1, R2, 2)),
          R31(DotColumns(R1, 2, R2, 0)), R32(DotColumns(R1, 2, R2, 1)), R33(DotColumns(R1, 2, R2, 2)),
          Q11(std::fabs(R11)), Q12(std::fabs(R12)), Q13(std::fabs(R13)), Q21(std::fabs(R21)), Q22(std::fabs(R22)),
          Q23(std::fabs(R23)), Q31(std::fabs(R31)), Q32(std::fabs(R32)), Q33(std::fabs(R33))
    {
    }
};

/// The axis of least penetration so far. Face and Edge return false when their axis separates the boxes.
class AxisSearch {
public:
    explicit AxisSearch(int* outCode) : outCode_(outCode) { *outCode_ = 0; }

    bool Face(double e1, double e2, const double* R, int column, int axisCode)
    {
        const double s2 = std::fabs(e1) - e2;
        if (s2 > 0)
            return false;
        if (s2 > s) {
            s = s2;
            faceAxisR = R;
            faceAxisColumn = column;
            Choose(e1, axisCode);
        }
        return true;
    }

    bool Edge(double e1, double e2, double wx, double wy, double wz, int axisCode)
    {
        double s2 = std::fabs(e1) - e2;
        if (s2 > 0)
            return false;
        const double l2 = wx * wx + wy * wy + wz * wz;
        // Shallower than the deepest so far by far more than rounding (|s2| / l > |s|, in squares): the
        // axis cannot win, and its root and divisions are skipped. A negative extent (never from a real
        // box) would lower the tie allowance below zero; such input takes the long way.
        if (e2 >= 0 && s2 * s2 > s * s * l2 * (1 + 1e-9))
            return true;
        const double l = std::sqrt(l2);
        // A zero cross product (parallel edges) gives no axis.
        if (l > 0) {
            s2 /= l;
            if (s2 > s + kEdgeAxisTieTolerance * e2 / l) {
                s = s2;
                faceAxisR = nullptr;
                edgeAxis[0] = wx / l;
                edgeAxis[1] = wy / l;
                edgeAxis[2] = wz / l;
                Choose(e1, axisCode);
            }
        }
        return true;
    }

    double s = -std::numeric_limits<double>::infinity();
    bool invert = false;
    int code = 0;
    // Face axis: the column of R1 or R2; edge axis: w in box 1's frame, normalised.
    const double* faceAxisR = nullptr;
    int faceAxisColumn = 0;
    double edgeAxis[3] = {0, 0, 0};

private:
    void Choose(double e1, int axisCode)
    {
        invert = e1 < 0;
        code = axisCode;
        *outCode_ = code;
    }

    int* outCode_;
};

/// The fifteen axes in their fixed order (ties go to the earlier); false as soon as one separates.
bool SearchAxes(const BoxPairFrame& f, const double* R1, const double* R2, AxisSearch& a)
{
    const double *A = f.A, *B = f.B, *pp = f.pp;
    return a.Face(pp[0], A[0] + B[0] * f.Q11 + B[1] * f.Q12 + B[2] * f.Q13, R1, 0, 1) &&
           a.Face(pp[1], A[1] + B[0] * f.Q21 + B[1] * f.Q22 + B[2] * f.Q23, R1, 1, 2) &&
           a.Face(pp[2], A[2] + B[0] * f.Q31 + B[1] * f.Q32 + B[2] * f.Q33, R1, 2, 3) &&
           a.Face(DotColumn(R2, 0, f.p), A[0] * f.Q11 + A[1] * f.Q21 + A[2] * f.Q31 + B[0], R2, 0, 4) &&
           a.Face(DotColumn(R2, 1, f.p), A[0] * f.Q12 + A[1] * f.Q22 + A[2] * f.Q32 + B[1], R2, 1, 5) &&
           a.Face(DotColumn(R2, 2, f.p), A[0] * f.Q13 + A[1] * f.Q23 + A[2] * f.Q33 + B[2], R2, 2, 6) &&
           a.Edge(pp[2] * f.R21 - pp[1] * f.R31, A[1] * f.Q31 + A[2] * f.Q21 + B[1] * f.Q13 + B[2] * f.Q12, 0, -f.R31,
                  f.R21, 7) &&
           a.Edge(pp[2] * f.R22 - pp[1] * f.R32, A[1] * f.Q32 + A[2] * f.Q22 + B[0] * f.Q13 + B[2] * f.Q11, 0, -f.R32,
                  f.R22, 8) &&
           a.Edge(pp[2] * f.R23 - pp[1] * f.R33, A[1] * f.Q33 + A[2] * f.Q23 + B[0] * f.Q12 + B[1] * f.Q11, 0, -f.R33,
                  f.R23, 9) &&
           a.Edge(pp[0] * f.R31 - pp[2] * f.R11, A[0] * f.Q31 + A[2] * f.Q11 + B[1] * f.Q23 + B[2] * f.Q22, f.R31, 0,
                  -f.R11, 10) &&
           a.Edge(pp[0] * f.R32 - pp[2] * f.R12, A[0] * f.Q32 + A[2] * f.Q12 + B[0] * f.Q23 + B[2] * f.Q21, f.R32, 0,
                  -f.R12, 11) &&
           a.Edge(pp[0] * f.R33 - pp[2] * f.R13, A[0] * f.Q33 + A[2] * f.Q13 + B[0] * f.Q22 + B[1] * f.Q21, f.R33, 0,
                  -f.R13, 12) &&
           a.Edge(pp[1] * f.R11 - pp[0] * f.R21, A[0] * f.Q21 + A[1] * f.Q11 + B[1] * f.Q33 + B[2] * f.Q32, -f.R21,
                  f.R11, 0, 13) &&
           a.Edge(pp[1] * f.R12 - pp[0] * f.R22, A[0] * f.Q22 + A[1] * f.Q12 + B[0] * f.Q33 + B[2] * f.Q31, -f.R22,
                  f.R12, 0, 14) &&
           a.Edge(pp[1] * f.R13 - pp[0] * f.R23, A[0] * f.Q23 + A[1] * f.Q13 + B[0] * f.Q32 + B[1] * f.Q31, -f.R23,
                  f.R13, 0, 15);
}

/// The chosen axis in world space, pointing from box 1 to box 2.
void ContactNormal(const AxisSearch& a, const double* R1, double* normal)
{
    if (a.faceAxisR) {
        normal[0] = a.faceAxisR[a.faceAxisColumn];
        normal[1] = a.faceAxisR[4 + a.faceAxisColumn];
        normal[2] = a.faceAxisR[8 + a.faceAxisColumn];
    } else {
        for (int i = 0; i < 3; ++i)
            normal[i] = R1[4 * i] * a.edgeAxis[0] + R1[4 * i + 1] * a.edgeAxis[1] + R1[4 * i + 2] * a.edgeAxis[2];
    }
    if (a.invert)
        for (int i = 0; i < 3; ++i)
            normal[i] = -normal[i];
}

/// Face contacts: the incident box's deepest corner on the reference face; edge contacts: the midpoint of
/// the two edge lines' closest points. Box 1's part furthest along the normal, box 2's furthest against it.
void ContactPoint(const double* p1, const double* R1, const double* A, const double* p2, const double* R2,
                  const double* B, const double* normal, int code, double* pos)
{
    auto towardsBox2 = [&](int i) { return DotColumn(R1, i, normal) > 0 ? 1.0 : -1.0; };
    auto towardsBox1 = [&](int j) { return DotColumn(R2, j, normal) > 0 ? -1.0 : 1.0; };
    if (code > 6) {
        double pa[3], pb[3];
        Corner(p1, R1, A, towardsBox2, pa);
        Corner(p2, R2, B, towardsBox1, pb);
        const int i = (code - 7) / 3;
        const int j = (code - 7) % 3;
        const double ua[3] = {R1[i], R1[4 + i], R1[8 + i]};
        const double ub[3] = {R2[j], R2[4 + j], R2[8 + j]};
        double alpha, beta;
        LineClosestApproach(pa, ua, pb, ub, &alpha, &beta);
        for (int k = 0; k < 3; ++k)
            pos[k] = ((pa[k] + ua[k] * alpha) + (pb[k] + ub[k] * beta)) * 0.5;
    } else if (code <= 3) {
        Corner(p2, R2, B, towardsBox1, pos);
        ClampIntoFace(p1, R1, A, code - 1, pos);
    } else {
        Corner(p1, R1, A, towardsBox2, pos);
        ClampIntoFace(p2, R2, B, code - 4, pos);
    }
}

} // namespace

int BoxBox(const double* p1, const double* R1, const double* side1, const double* p2, const double* R2,
           const double* side2, double* outNormal, double* outDepth, int* outCode, dContactGeom* contact)
{
    const BoxPairFrame frame(p1, R1, side1, p2, R2, side2);
    AxisSearch axes(outCode);
    if (!SearchAxes(frame, R1, R2, axes))
        return 0;
    // NaN anywhere makes every comparison false: no axis was chosen and the normal would be garbage.
    if (axes.code == 0)
        return 0;

    double normal[3];
    ContactNormal(axes, R1, normal);
    for (int i = 0; i < 3; ++i)
        outNormal[i] = normal[i];
    *outDepth = -axes.s;

    double pos[3];
    ContactPoint(p1, R1, frame.A, p2, R2, frame.B, normal, axes.code, pos);
    contact->pos[0] = pos[0];
    contact->pos[1] = pos[1];
    contact->pos[2] = pos[2];
    contact->depth = *outDepth;
    return 1;
}

} // namespace vex::collision
