// Times the body channel's sphere and box colliders, reached through ODE's dCollide on the world
// channel's mesh geom, against ODE's own trimesh collider on the same triangles, and measures the quality
// of both: how far the deepest contact's depth lies from the true penetration and how many normals on the
// flat floor are tilted or point the wrong way. Fixed scenes and seed; the median of several runs.
//
// Usage: MeshColliderBench [queries] [runs] [deepest penetration, default 0.2] [only: e.g. "floor sphere";
//        with "ours", our default path alone is timed: no ODE, no quality pass]
//        [file: writes our contacts of every pose there, to compare two builds byte for byte]
#include "body/CandidateQuery.h"
#include "body/ODE_GeometryItem.h"
#include "body/Tvc_ODE_BodyCollision.h"
#include "body/collision/CollideBoxVsTriangles.h"
#include "body/collision/CollisionConstants.h"
#include "body/collision/CollisionGeometry.h"
#include "host/Vexcore.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/collisionobject/AabbTree.h"
#include "siblings/collisionobject/MeshSources.h"
#include "siblings/collisionobject/Tvc_DX8_CollisionObject.h"

#include <ode/ode.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kCells = 200;        // 201 x 201 vertices
constexpr float kSize = 100.0f;    // over [-50, 50] in x and z
constexpr float kAmplitude = 0.5f; // bumpy field: y = 0.5 sin x cos z
constexpr float kSphereRadius = 0.5f;
constexpr double kBoxSide = 1.0;
constexpr unsigned kSeed = 20261207;

struct Pose {
    double centre[3];
    dMatrix3 rotation;
    double penetration; ///< by construction: how far the lowest point sits below the surface under it
};

struct Surface {
    const char* name;
    float amplitude;
    float Height(double x, double z) const { return static_cast<float>(amplitude * std::sin(x) * std::cos(z)); }
};

std::vector<Pose> MakePoses(const Surface& surface, bool box, int count, double deepest)
{
    std::mt19937 rng(kSeed + (box ? 1 : 0) + (surface.amplitude != 0 ? 2 : 0));
    std::uniform_real_distribution<double> where(-49, 49), depth(0, deepest), unit(-1, 1), angle(0, 2 * M_PI);
    std::vector<Pose> poses(static_cast<size_t>(count));
    for (Pose& p : poses) {
        p.centre[0] = where(rng);
        p.centre[2] = where(rng);
        p.penetration = depth(rng);
        const double ground = surface.Height(p.centre[0], p.centre[2]);
        if (box) {
            // A uniformly random rotation: random axis, random angle.
            dVector3 axis = {unit(rng), unit(rng), unit(rng)};
            if (dCalcVectorLength3(axis) < 1e-6)
                axis[1] = 1;
            dRFromAxisAndAngle(p.rotation, axis[0], axis[1], axis[2], angle(rng));
            double lowest = 0;
            for (int i = 0; i < 3; ++i)
                lowest += 0.5 * kBoxSide * std::fabs(p.rotation[4 + i]);
            p.centre[1] = ground + lowest - p.penetration;
        } else {
            dRSetIdentity(p.rotation);
            p.centre[1] = ground + kSphereRadius - p.penetration;
        }
    }
    return poses;
}

// Closest point of triangle abc to p (Ericson, Real-Time Collision Detection 5.1.5), squared distance.
double PointTriangleDistanceSquared(const double p[3], const float* t)
{
    auto sub = [](const double* a, const double* b, double* o) {
        for (int k = 0; k < 3; ++k)
            o[k] = a[k] - b[k];
    };
    auto dot = [](const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    const double a[3] = {t[0], t[1], t[2]}, b[3] = {t[3], t[4], t[5]}, c[3] = {t[6], t[7], t[8]};
    double ab[3], ac[3], ap[3], bp[3], cp[3], q[3];
    sub(b, a, ab);
    sub(c, a, ac);
    sub(p, a, ap);
    auto at = [&](double v, double w) {
        for (int k = 0; k < 3; ++k)
            q[k] = a[k] + ab[k] * v + ac[k] * w;
    };
    const double d1 = dot(ab, ap), d2 = dot(ac, ap);
    if (d1 <= 0 && d2 <= 0) {
        at(0, 0);
    } else {
        sub(p, b, bp);
        const double d3 = dot(ab, bp), d4 = dot(ac, bp);
        sub(p, c, cp);
        const double d5 = dot(ab, cp), d6 = dot(ac, cp);
        const double vc = d1 * d4 - d3 * d2, vb = d5 * d2 - d1 * d6, va = d3 * d6 - d5 * d4;
        if (d3 >= 0 && d4 <= d3)
            at(1, 0);
        else if (vc <= 0 && d1 >= 0 && d3 <= 0)
            at(d1 / (d1 - d3), 0);
        else if (d6 >= 0 && d5 <= d6)
            at(0, 1);
        else if (vb <= 0 && d2 >= 0 && d6 <= 0)
            at(0, d2 / (d2 - d6));
        else if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) {
            const double w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
            at(1 - w, w);
        } else {
            const double denom = 1 / (va + vb + vc);
            at(vb * denom, vc * denom);
        }
    }
    double d[3];
    sub(p, q, d);
    return dot(d, d);
}

/// True penetration of each pose: for spheres r minus the distance from the centre to the mesh; for boxes
/// on the flat floor the constructed depth of the lowest corner; NaN where no reference is computed.
std::vector<double> TruePenetrations(const std::vector<Pose>& poses, const vex::AabbTree& tree, bool box, bool flat)
{
    std::vector<double> truth(poses.size(), NAN);
    for (size_t i = 0; i < poses.size(); ++i) {
        const Pose& p = poses[i];
        if (box) {
            if (flat)
                truth[i] = p.penetration;
            continue;
        }
        const float low[3] = {float(p.centre[0] - 1), float(p.centre[1] - 1), float(p.centre[2] - 1)};
        const float high[3] = {float(p.centre[0] + 1), float(p.centre[1] + 1), float(p.centre[2] + 1)};
        double best = INFINITY;
        tree.Query(low, high,
                   [&](int t) { best = std::min(best, PointTriangleDistanceSquared(p.centre, tree.GetTriangle(t))); });
        truth[i] = kSphereRadius - std::sqrt(best);
    }
    return truth;
}

struct Quality {
    double contactsPerQuery = 0;
    int depthChecked = 0;
    int depthOff = 0; ///< deepest contact's depth more than 1 mm from the truth (or no contact)
    int normals = 0;
    int tilted = 0;   ///< |n . y| < 0.999
    int wrongWay = 0; ///< pointing away from g1 (ODE: the normal points towards g1)
};

struct Collider {
    const char* name;
    dGeomID mesh;
};

// Thread CPU time: the machine is shared, and wall time would count other processes' turns.
double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double TimeQueries(dGeomID mesh, dGeomID shape, const std::vector<Pose>& poses, int limit,
                   std::vector<dContactGeom>& buffer, long& contactCount)
{
    contactCount = 0;
    const double start = ThreadSeconds();
    for (const Pose& p : poses) {
        dGeomSetPosition(shape, p.centre[0], p.centre[1], p.centre[2]);
        dGeomSetRotation(shape, p.rotation);
        contactCount += dCollide(mesh, shape, limit, buffer.data(), sizeof(dContactGeom));
    }
    const double end = ThreadSeconds();
    return (end - start) * 1e9 / static_cast<double>(poses.size());
}

Quality Measure(dGeomID mesh, dGeomID shape, const std::vector<Pose>& poses, const std::vector<double>& truth,
                int limit, bool flat, std::vector<dContactGeom>& buffer)
{
    Quality q;
    long total = 0;
    for (size_t i = 0; i < poses.size(); ++i) {
        const Pose& p = poses[i];
        dGeomSetPosition(shape, p.centre[0], p.centre[1], p.centre[2]);
        dGeomSetRotation(shape, p.rotation);
        const int n = dCollide(mesh, shape, limit, buffer.data(), sizeof(dContactGeom));
        total += n;
        double deepest = -INFINITY;
        for (int c = 0; c < n; ++c) {
            const dContactGeom& g = buffer[static_cast<size_t>(c)];
            deepest = std::max(deepest, static_cast<double>(g.depth));
            if (flat) {
                ++q.normals;
                // The normal should point towards g1: down (-y) when g1 is the mesh, up when it is the shape.
                const double expected = g.g1 == mesh ? -1.0 : 1.0;
                const double along = g.normal[1] * expected;
                if (along < 0)
                    ++q.wrongWay;
                else if (std::fabs(g.normal[1]) < 0.999)
                    ++q.tilted;
            }
        }
        if (!std::isnan(truth[i])) {
            ++q.depthChecked;
            if (n == 0 || std::fabs(deepest - truth[i]) > 0.001)
                ++q.depthOff;
        }
    }
    q.contactsPerQuery = static_cast<double>(total) / static_cast<double>(poses.size());
    return q;
}

// Candidate triangles per box query, averaged over the poses: those of the axis-aligned box query alone,
// and those the channel's gathering hands over (the oriented-box query, when the caller has switched it on).
void CountBoxCandidates(Tvc_DX8_CollisionObject& object, const std::vector<Pose>& poses, double& boxQuery,
                        double& gathered)
{
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    long all = 0, narrowed = 0;
    Tav_List list;
    for (const Pose& p : poses) {
        // The query box of the channel's box collider: the box grown by the slab thickness.
        const double lengths[3] = {kBoxSide + vex::collision::kSlabThickness, kBoxSide + vex::collision::kSlabThickness,
                                   kBoxSide + vex::collision::kSlabThickness};
        vex::collision::BoxPose pose{};
        std::copy(p.centre, p.centre + 3, pose.centre);
        std::copy(p.rotation, p.rotation + 12, pose.rotation);
        vex::collision::QueryBox bounds = vex::collision::BoxQueryBounds(identity, pose.Matrix(), lengths);
        list.ReleaseItems();
        object.GetPolygonsInBox(&list, &bounds.min, &bounds.max);
        all += list.GetItemCount();
        list.ReleaseItems();
        const vex::body::CandidateBox box{p.centre, p.rotation, {0.5 * lengths[0], 0.5 * lengths[1], 0.5 * lengths[2]}};
        vex::body::GetBoxCandidates(object, identity, list, bounds.min, bounds.max, box);
        narrowed += list.GetItemCount();
    }
    boxQuery = static_cast<double>(all) / static_cast<double>(poses.size());
    gathered = static_cast<double>(narrowed) / static_cast<double>(poses.size());
}

std::string Percent(int part, int whole)
{
    if (whole == 0)
        return "n/a";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", 100.0 * part / whole);
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    const int queries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const double deepest = argc > 3 ? std::atof(argv[3]) : 0.2;
    // Profiling one case: the surface and shape named here ("floor", "bumpy", "sphere", "box"; both words
    // or one of them), every case when absent.
    const std::string only = argc > 4 ? argv[4] : "";
    // "ours" among those words times only our default path, for a profile of it alone.
    const bool oursOnly = only.find("ours") != std::string::npos;
    FILE* dump = argc > 5 ? std::fopen(argv[5], "wb") : nullptr;
    if (argc > 5 && !dump) {
        std::fprintf(stderr, "cannot write %s\n", argv[5]);
        return 1;
    }

    Vexcore host({VEX_PLUGIN_DIR});
    std::string error;
    if (!host.AddChannel(vex::Guid(vex::guids::kWorld), "world", &error)) {
        std::fprintf(stderr, "no world channel: %s\n", error.c_str());
        return 1;
    }
    dInitODE2(0);
    dAllocateODEDataForThread(dAllocateMaskAll);

    std::printf(
        "Mesh colliders: %d queries per case, penetrations 0 to %g, median of %d runs (thread CPU ns per query)\n",
        queries, deepest, runs);
    std::printf("ours = the body channel's CollideSphere / CollideBox through dCollide on the world's mesh geom;\n");
    std::printf("ODE = dCreateTriMesh on the same triangles. Depth off = deepest contact more than 1 mm from the\n");
    std::printf("true penetration (or no contact); normals counted on the flat floor only. oriented/ODE = ours with\n");
    std::printf(
        "the oriented-box candidate query switched on (VEX_OBB=1 makes it the default), timed in the same runs.\n\n");
    std::printf("| surface | shape | limit | ours ns | ODE ns | ours/ODE | oriented/ODE | contacts ours | contacts ODE "
                "| depth off ours | depth off ODE | tilted ours | tilted ODE | wrong way ours | wrong way ODE |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");

    std::string candidateLines;
    const Surface surfaces[] = {{"floor", 0.0f}, {"bumpy", kAmplitude}};
    for (const Surface& surface : surfaces) {
        const bool flat = surface.amplitude == 0;
        vex::GridParameters grid{kCells, kCells, kSize, kSize, surface.amplitude, 1.0f, 1.0f};
        const std::vector<float> triangles = vex::GenerateGridTriangles(grid);
        vex::AabbTree reference;
        reference.Build(triangles);

        // Ours: a static body with a mesh item linked to a collision object holding the triangles.
        auto* body = dynamic_cast<Tvc_ODE_BodyCollision*>(
            host.AddChannel(vex::Guid(vex::guids::kBody), std::string("ground ") + surface.name, &error));
        auto* object = dynamic_cast<Tvc_DX8_CollisionObject*>(
            host.AddChannel(vex::Guid(vex::guids::kCollisionObject), std::string("mesh ") + surface.name, &error));
        if (!body || !object || !host.Link(body, object, 2, &error)) {
            std::fprintf(stderr, "scene not built: %s\n", error.c_str());
            return 1;
        }
        object->SetTriangles(triangles);
        body->GetGeometryItem(0)->kind = kShapeMesh;
        body->InitializeBody();
        const dGeomID ours = body->GetGeometryItem(0)->geom;

        // ODE: its own trimesh over the same triangles, in the same order and winding.
        std::vector<dTriIndex> indices(triangles.size() / 3);
        for (size_t i = 0; i < indices.size(); ++i)
            indices[i] = static_cast<dTriIndex>(i);
        dTriMeshDataID data = dGeomTriMeshDataCreate();
        dGeomTriMeshDataBuildSingle(data, triangles.data(), 3 * sizeof(float), static_cast<int>(indices.size()),
                                    indices.data(), static_cast<int>(indices.size()), 3 * sizeof(dTriIndex));
        const dGeomID ode = dCreateTriMesh(nullptr, data, nullptr, nullptr, nullptr);

        for (const bool box : {false, true}) {
            if ((only.find("floor") != std::string::npos && !flat) ||
                (only.find("bumpy") != std::string::npos && flat) ||
                (only.find("sphere") != std::string::npos && box) || (only.find("box") != std::string::npos && !box))
                continue;
            const std::vector<Pose> poses = MakePoses(surface, box, queries, deepest);
            const std::vector<double> truth = TruePenetrations(poses, reference, box, flat);
            const dGeomID shape =
                box ? dCreateBox(nullptr, kBoxSide, kBoxSide, kBoxSide) : dCreateSphere(nullptr, kSphereRadius);
            for (const int limit : {4, 16}) {
                std::vector<dContactGeom> buffer(static_cast<size_t>(limit));
                std::vector<double> oursTimes, odeTimes, orientedTimes;
                long oursContacts = 0, odeContacts = 0, orientedContacts = 0;
                const bool orientedByDefault = vex::body::OrientedBoxQueryEnabled();
                for (int run = 0; run < runs; ++run) {
                    oursTimes.push_back(TimeQueries(ours, shape, poses, limit, buffer, oursContacts));
                    if (oursOnly) {
                        odeTimes.push_back(1);
                        orientedTimes.push_back(1);
                        continue;
                    }
                    odeTimes.push_back(TimeQueries(ode, shape, poses, limit, buffer, odeContacts));
                    // The box collider with the oriented-box query switched on (off by default), side by side.
                    if (box) {
                        vex::body::SetOrientedBoxQueryEnabled(true);
                        orientedTimes.push_back(TimeQueries(ours, shape, poses, limit, buffer, orientedContacts));
                        vex::body::SetOrientedBoxQueryEnabled(orientedByDefault);
                    }
                }
                std::sort(oursTimes.begin(), oursTimes.end());
                std::sort(odeTimes.begin(), odeTimes.end());
                std::sort(orientedTimes.begin(), orientedTimes.end());
                const double oursNs = oursTimes[oursTimes.size() / 2], odeNs = odeTimes[odeTimes.size() / 2];
                char oriented[32] = "n/a";
                if (box)
                    std::snprintf(oriented, sizeof oriented, "%.2f", orientedTimes[orientedTimes.size() / 2] / odeNs);
                if (dump) {
                    for (const Pose& p : poses) {
                        dGeomSetPosition(shape, p.centre[0], p.centre[1], p.centre[2]);
                        dGeomSetRotation(shape, p.rotation);
                        const int n = dCollide(ours, shape, limit, buffer.data(), sizeof(dContactGeom));
                        std::fwrite(&n, sizeof n, 1, dump);
                        for (int c = 0; c < n; ++c) {
                            const dContactGeom& g = buffer[static_cast<size_t>(c)];
                            std::fwrite(g.pos, sizeof(dReal), 3, dump);
                            std::fwrite(g.normal, sizeof(dReal), 3, dump);
                            std::fwrite(&g.depth, sizeof(dReal), 1, dump);
                        }
                    }
                }
                if (oursOnly) {
                    std::printf("| %s | %s | %d | %.0f | ours alone |\n", surface.name,
                                box ? "box 1x1x1" : "sphere r 0.5", limit, oursNs);
                    continue;
                }
                const Quality qo = Measure(ours, shape, poses, truth, limit, flat, buffer);
                const Quality qd = Measure(ode, shape, poses, truth, limit, flat, buffer);
                std::printf("| %s | %s | %d | %.0f | %.0f | %.2f | %s | %.2f | %.2f | %s | %s | %s | %s | %s | %s |\n",
                            surface.name, box ? "box 1x1x1" : "sphere r 0.5", limit, oursNs, odeNs, oursNs / odeNs,
                            oriented, qo.contactsPerQuery, qd.contactsPerQuery,
                            Percent(qo.depthOff, qo.depthChecked).c_str(),
                            Percent(qd.depthOff, qd.depthChecked).c_str(), Percent(qo.tilted, qo.normals).c_str(),
                            Percent(qd.tilted, qd.normals).c_str(), Percent(qo.wrongWay, qo.normals).c_str(),
                            Percent(qd.wrongWay, qd.normals).c_str());
                std::fflush(stdout);
            }
            if (box && !oursOnly) {
                double boxQuery = 0, gathered = 0;
                const bool orientedByDefault = vex::body::OrientedBoxQueryEnabled();
                vex::body::SetOrientedBoxQueryEnabled(true);
                CountBoxCandidates(*object, poses, boxQuery, gathered);
                vex::body::SetOrientedBoxQueryEnabled(orientedByDefault);
                candidateLines += std::string("| ") + surface.name + " | " + std::to_string(boxQuery).substr(0, 5) +
                                  " | " + std::to_string(gathered).substr(0, 5) + " |\n";
            }
            dGeomDestroy(shape);
        }
        dGeomDestroy(ode);
        dGeomTriMeshDataDestroy(data);
    }
    std::printf("\nCandidate triangles per box query: the axis-aligned box query alone, and the oriented-box query\n");
    std::printf("the collision object offers (what the channel gathers when it is switched on).\n\n");
    std::printf("| surface | box query | oriented-box query |\n|---|---|---|\n%s", candidateLines.c_str());
    if (dump)
        std::fclose(dump);
    return 0;
}
