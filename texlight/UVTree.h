#pragma once
// The texture-space search tree over a mesh's triangles: a binary split of the unit uv square, halving
// the longer side, down to leaves of fewer than 8 triangles (or depth 16), or of triangles that neither
// this split nor the next one separates. A triangle that touches both halves, or has a vertex within
// 0.0001 of the split line, lives in both.

#include "host/Tav_List.h"
#include "platform/D3DXMath.h"

#include <cstdint>
#include <vector>

namespace vex::texlight {
struct MeshSnapshot;
}

/// One node of the tree. Boxes keep u in x and v in z; y is unused.
class UVTreeNode {
public:
    UVTreeNode() = default;
    UVTreeNode(const UVTreeNode&) = delete;
    UVTreeNode& operator=(const UVTreeNode&) = delete;

    // Virtual slots, in this order.
    /// Deletes both children; the list's items are plain numbers and need no freeing.
    virtual ~UVTreeNode();
    /// The first leaf (lower half searched first) whose box contains (u, v), or null.
    virtual UVTreeNode* Find(float u, float v);
    virtual int GetItemCount();
    /// Triangle start position in the mesh's index list (0, 3, 6, ...).
    virtual intptr_t GetItem(int i);
    /// Box test with closed bounds.
    virtual bool Contains(float u, float v);

    D3DXVECTOR3 boxMin;
    D3DXVECTOR3 boxMax;
    bool leaf = false;
    Tav_List triangles;
    /// The same triangles as indexes (start position / 3), for the texel loop's lookups.
    std::vector<int> triangleIndexes;
    UVTreeNode* left = nullptr;
    UVTreeNode* right = nullptr;
};

namespace vex::texlight {

/// Which side of the split value m along one axis a triangle with these three coordinates lies on:
/// 0 lower, 1 upper, 2 both (spans the line or has a vertex within the split epsilon of it).
int ClassifyTriangle(const float coords[3], float m);

/// What root->Find(u, v) answers, without virtual calls: the texel loop asks it for every sample.
UVTreeNode* FindLeaf(UVTreeNode* root, float u, float v);

/// A new tree over every triangle of the snapshot (root box: the unit square); the caller owns it.
UVTreeNode* BuildUVTree(const MeshSnapshot& mesh);

/// Depth of the deepest leaf below node (0 for a leaf root); for tests and statistics.
int UVTreeDepth(const UVTreeNode* node);

} // namespace vex::texlight
