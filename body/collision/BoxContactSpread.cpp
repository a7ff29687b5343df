// (Farthest from the chosen ones alone took a point half-way along a long edge before the corner beside
// the first, and which corner came next flipped from step to step: hence the line and the side.)
#include "body/collision/BoxContactSpread.h"

#include "body/collision/CollisionConstants.h"

#include <algorithm>

namespace vex::collision {
namespace {

double Dot3(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// The choice in progress: nearest[m] is candidate m's squared distance to the nearest one chosen so far;
// a chosen one is marked -1, below any.
struct Spread {
    const dContactGeom* candidates;
    unsigned long found;
    double nearest[kMaxBoxCandidates + 1];

    // The part of candidate m's offset from the first chosen that is square to the line through the
    // first two chosen; false when those two coincide.
    bool Across(const unsigned long* line, unsigned long m, double* out) const
    {
        const double* p0 = candidates[line[0]].pos;
        const double* p1 = candidates[line[1]].pos;
        const double u[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        const double uu = Dot3(u, u);
        if (!(uu > 0))
            return false;
        const double* p = candidates[m].pos;
        const double d[3] = {p[0] - p0[0], p[1] - p0[1], p[2] - p0[2]};
        const double t = Dot3(d, u) / uu;
        for (int k = 0; k < 3; ++k)
            out[k] = d[k] - u[k] * t;
        return true;
    }

    // The unchosen candidate with the largest nearest[m], or, given the first two chosen, the one
    // farthest from the line through them (the first of equals).
    unsigned long Farthest(const unsigned long* line) const
    {
        unsigned long best = 0;
        double bestValue = -1;
        for (unsigned long m = 0; m < found; ++m) {
            if (nearest[m] == -1)
                continue;
            double across[3];
            const double value = line && Across(line, m, across) ? Dot3(across, across) : nearest[m];
            if (value > bestValue) {
                best = m;
                bestValue = value;
            }
        }
        return best;
    }

    // The fourth choice: the unchosen candidate farthest beyond the line through the first two, on the
    // side away from the third. False when none lies beyond it.
    bool AcrossTheLine(const unsigned long* order, unsigned long& outBest) const
    {
        if (order[2] == order[0] || order[2] == order[1])
            return false;
        double third[3];
        if (!Across(order, order[2], third))
            return false;
        double bestValue = 0;
        bool any = false;
        for (unsigned long m = 0; m < found; ++m) {
            double across[3];
            if (nearest[m] == -1 || !Across(order, m, across))
                continue;
            const double value = -Dot3(across, third);
            if (value > bestValue) {
                outBest = m;
                bestValue = value;
                any = true;
            }
        }
        return any;
    }

    void Choose(unsigned long m)
    {
        nearest[m] = -1;
        for (unsigned long k = 0; k < found; ++k)
            if (nearest[k] != -1)
                nearest[k] = std::min(nearest[k], ContactDistanceSquared(candidates[k], candidates[m]));
    }
};

} // namespace

void ChooseSpread(const dContactGeom* candidates, unsigned long found, unsigned long count, unsigned long* order)
{
    Spread spread{candidates, found, {}};
    unsigned long deepest = 0;
    for (unsigned long m = 1; m < found; ++m)
        if (candidates[m].depth > candidates[deepest].depth)
            deepest = m;
    order[0] = deepest;
    for (unsigned long m = 0; m < found; ++m)
        spread.nearest[m] = ContactDistanceSquared(candidates[m], candidates[deepest]);
    spread.nearest[deepest] = -1;
    for (unsigned long out = 1; out < count; ++out) {
        unsigned long best = 0;
        if (out < 3 || !spread.AcrossTheLine(order, best))
            best = spread.Farthest(out == 2 ? order : nullptr);
        order[out] = best;
        spread.Choose(best);
    }
}

} // namespace vex::collision
