// (Farthest from the chosen ones alone took a point half-way along a long edge before the corner beside
// the first, and which corner came next flipped from step to step: hence the line and the side.)
#include "body/collision/BoxContactSpread.h"

#include "body/collision/CollisionConstants.h"

#include <algorithm>

namespace vex::collision {
namespace {

double Dot3(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// The line through the first two chosen, worked out once for a pass over the candidates; not valid when
// there is none yet or the two coincide.
struct Line {
    const double* p0 = nullptr;
    double u[3] = {};
    double uu = 0;
    bool valid = false;

    static Line Through(const dContactGeom* candidates, const unsigned long* order)
    {
        Line line;
        line.p0 = candidates[order[0]].pos;
        const double* p1 = candidates[order[1]].pos;
        for (int k = 0; k < 3; ++k)
            line.u[k] = p1[k] - line.p0[k];
        line.uu = Dot3(line.u, line.u);
        line.valid = line.uu > 0;
        return line;
    }

    // The part of p's offset from the first chosen that is square to the line.
    void Across(const double* p, double* out) const
    {
        const double d[3] = {p[0] - p0[0], p[1] - p0[1], p[2] - p0[2]};
        const double t = Dot3(d, u) / uu;
        for (int k = 0; k < 3; ++k)
            out[k] = d[k] - u[k] * t;
    }
};

// The choice in progress: nearest[m] is candidate m's squared distance to the nearest one chosen so far;
// a chosen one is marked -1, below any. (Filled for the candidates found before it is read.)
struct Spread {
    const dContactGeom* candidates;
    unsigned long found;
    double nearest[kMaxBoxCandidates + 1];

    // The unchosen candidate with the largest nearest[m], or, given the first two chosen, the one
    // farthest from the line through them (the first of equals).
    unsigned long Farthest(const unsigned long* order) const
    {
        const Line line = order ? Line::Through(candidates, order) : Line{};
        unsigned long best = 0;
        double bestValue = -1;
        for (unsigned long m = 0; m < found; ++m) {
            if (nearest[m] == -1)
                continue;
            double value = nearest[m];
            if (line.valid) {
                double offset[3];
                line.Across(candidates[m].pos, offset);
                value = Dot3(offset, offset);
            }
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
        const Line line = Line::Through(candidates, order);
        if (!line.valid)
            return false;
        double third[3];
        line.Across(candidates[order[2]].pos, third);
        double bestValue = 0;
        bool any = false;
        for (unsigned long m = 0; m < found; ++m) {
            if (nearest[m] == -1)
                continue;
            double across[3];
            line.Across(candidates[m].pos, across);
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
    Spread spread;
    spread.candidates = candidates;
    spread.found = found;
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
