// Builds the texture-space tree while allocations fail at chosen points: every failure must free what
// was built so far. This file replaces the global allocation functions, so it is its own test program.

#include "texlight/MeshSnapshot.h"
#include "texlight/UVTree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <new>

namespace {

// While armed: allocations and frees are counted, and the allocation numbered failAt throws.
bool armed = false;
long allocations = 0;
long frees = 0;
long failAt = -1;

void* Allocate(std::size_t size)
{
    if (armed) {
        if (allocations == failAt)
            throw std::bad_alloc();
        ++allocations;
    }
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void Free(void* p)
{
    if (armed && p)
        ++frees;
    std::free(p);
}

} // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Free(p); }
void operator delete[](void* p) noexcept { Free(p); }
void operator delete(void* p, std::size_t) noexcept { Free(p); }
void operator delete[](void* p, std::size_t) noexcept { Free(p); }

using namespace vex::texlight;

TEST(UVTreeAllocation, FailedBuildFreesThePartlyBuiltTree)
{
    // 64 triangles on an 8 x 8 grid: a tree of many nodes and lists.
    MeshSnapshot mesh;
    mesh.usable = true;
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i) {
            SnapshotTriangle t;
            t.u[0] = i / 8.0f, t.v[0] = j / 8.0f, t.u[1] = (i + 1) / 8.0f, t.v[1] = j / 8.0f;
            t.u[2] = (i + 0.5f) / 8.0f, t.v[2] = (j + 1) / 8.0f;
            mesh.triangles.push_back(t);
        }

    // The allocations of a whole build, then a failure at points spread over them.
    armed = true;
    allocations = frees = 0;
    delete BuildUVTree(mesh);
    const long total = allocations;
    armed = false;
    ASSERT_GT(total, 50);
    EXPECT_EQ(frees, total);

    int failures = 0;
    for (long at = 0; at < total; at += 1 + total / 40) {
        armed = true;
        allocations = frees = 0;
        failAt = at;
        bool threw = false;
        try {
            delete BuildUVTree(mesh);
        } catch (const std::bad_alloc&) {
            threw = true;
        }
        armed = false;
        failAt = -1;
        EXPECT_TRUE(threw) << at;
        EXPECT_EQ(frees, allocations) << "allocation " << at << " failed";
        failures += threw;
    }
    EXPECT_GT(failures, 20);
}
