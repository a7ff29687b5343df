// Texture-space tree: build time, memory and lookup time for uv layouts that split well and for
// triangles that overlap everywhere (a mesh without a light-map layout).
//
//   UVTreeBench [runs]       (runs per case, default 3; times are the median, the minimum beside)
//
// Memory is what the heap holds for the tree once it is built (glibc's in-use bytes, before minus after
// freeing it); nodes, leaves and listed triangles are counted by walking the tree.

#include "texlight/MeshSnapshot.h"
#include "texlight/SampleGrid.h"
#include "texlight/UVTree.h"

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace vex::texlight;

namespace {

double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

SnapshotTriangle UVTriangle(float u0, float v0, float u1, float v1, float u2, float v2)
{
    SnapshotTriangle t;
    t.u[0] = u0, t.v[0] = v0, t.u[1] = u1, t.v[1] = v1, t.u[2] = u2, t.v[2] = v2;
    return t;
}

/// count copies of the triangle over the whole unit square.
MeshSnapshot Overlapping(int count)
{
    MeshSnapshot mesh;
    mesh.usable = true;
    mesh.triangles.assign(static_cast<size_t>(count), UVTriangle(0, 0, 1, 0, 0, 1));
    return mesh;
}

/// An n x n grid of quads, two triangles each, covering the unit square once.
MeshSnapshot Grid(int n)
{
    MeshSnapshot mesh;
    mesh.usable = true;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const float u0 = float(i) / n, v0 = float(j) / n, u1 = float(i + 1) / n, v1 = float(j + 1) / n;
            mesh.triangles.push_back(UVTriangle(u0, v0, u1, v0, u1, v1));
            mesh.triangles.push_back(UVTriangle(u0, v0, u1, v1, u0, v1));
        }
    return mesh;
}

struct Counts {
    long nodes = 0;
    long leaves = 0;
    long listed = 0;
};

void Count(const UVTreeNode* node, Counts& c)
{
    if (!node)
        return;
    ++c.nodes;
    if (node->leaf) {
        ++c.leaves;
        c.listed += static_cast<long>(node->triangleIndexes.size());
    }
    Count(node->left, c);
    Count(node->right, c);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void RunCase(const char* name, const MeshSnapshot& mesh, int runs)
{
    std::vector<double> build, lookup;
    size_t bytes = 0;
    Counts counts;
    int depth = 0;
    long found = 0;
    std::mt19937 random(1);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<std::pair<float, float>> queries(100000);
    for (auto& q : queries)
        q = {unit(random), unit(random)};
    for (int r = 0; r < runs; ++r) {
        const size_t before = mallinfo2().uordblks;
        const double start = ThreadSeconds();
        std::unique_ptr<UVTreeNode> root(BuildUVTree(mesh));
        build.push_back(ThreadSeconds() - start);
        bytes = mallinfo2().uordblks - before;
        counts = {};
        Count(root.get(), counts);
        depth = UVTreeDepth(root.get());
        const double lookupStart = ThreadSeconds();
        found = 0;
        for (const auto& [u, v] : queries) {
            float b1, b2;
            found += FindCoveringTriangle(mesh, root.get(), u, v, b1, b2) >= 0;
        }
        lookup.push_back((ThreadSeconds() - lookupStart) / double(queries.size()));
    }
    std::printf("| %s | %zu | %.4f (%.4f) | %.3f | %ld | %ld | %ld | %d | %.0f | %ld |\n", name, mesh.triangles.size(),
                Median(build), *std::min_element(build.begin(), build.end()), double(bytes) / 1e6, counts.nodes,
                counts.leaves, counts.listed, depth, Median(lookup) * 1e9, found);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::printf(
        "| case | triangles | build s (min) | tree MB | nodes | leaves | listed | depth | lookup ns | found |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    RunCase("grid 64 x 64", Grid(64), runs);
    RunCase("grid 256 x 256", Grid(256), runs);
    RunCase("8 overlapping", Overlapping(8), runs);
    RunCase("256 overlapping", Overlapping(256), runs);
    return 0;
}
