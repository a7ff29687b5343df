#include "texlight/UVTree.h"

#include "texlight/MeshSnapshot.h"
#include "texlight/TexLightConstants.h"

#include <algorithm>
#include <memory>
#include <vector>

UVTreeNode::~UVTreeNode()
{
    triangles.ReleaseItems();
    delete left;
    delete right;
}

UVTreeNode* UVTreeNode::Find(float u, float v) { return vex::texlight::FindLeaf(this, u, v); }

int UVTreeNode::GetItemCount() { return triangles.GetItemCount(); }

intptr_t UVTreeNode::GetItem(int i) { return reinterpret_cast<intptr_t>(triangles.GetItem(i)); }

bool UVTreeNode::Contains(float u, float v) { return boxMin.x <= u && u <= boxMax.x && boxMin.z <= v && v <= boxMax.z; }

namespace vex::texlight {

UVTreeNode* FindLeaf(UVTreeNode* node, float u, float v)
{
    if (!(node->boxMin.x <= u && u <= node->boxMax.x && node->boxMin.z <= v && v <= node->boxMax.z))
        return nullptr;
    if (node->leaf)
        return node;
    if (node->left)
        if (UVTreeNode* found = FindLeaf(node->left, u, v))
            return found;
    if (node->right)
        if (UVTreeNode* found = FindLeaf(node->right, u, v))
            return found;
    return nullptr;
}

int ClassifyTriangle(const float coords[3], float m)
{
    const double low = static_cast<double>(m) - kUVTreeSplitEpsilon;
    const double high = static_cast<double>(m) + kUVTreeSplitEpsilon;
    bool upper = false;
    bool lower = false;
    for (int k = 0; k < 3; ++k) {
        const double c = coords[k];
        if (low < c && c < high)
            return 2;
        if (coords[k] >= m)
            upper = true;
        else
            lower = true;
    }
    if (upper && lower)
        return 2;
    return upper ? 1 : 0;
}

namespace {

/// True when every triangle touches both sides of the split at m along the axis (or lies in its band).
bool AllOnBothSides(const MeshSnapshot& mesh, const std::vector<int>& tris, bool alongU, float m)
{
    for (int t : tris) {
        const SnapshotTriangle& tri = mesh.triangles[static_cast<size_t>(t)];
        if (ClassifyTriangle(alongU ? tri.u : tri.v, m) != 2)
            return false;
    }
    return true;
}

void MakeLeaf(UVTreeNode* node, const std::vector<int>& tris)
{
    node->leaf = true;
    node->triangles.ReleaseItems();
    for (int t : tris)
        node->triangles.AddItem(reinterpret_cast<void*>(static_cast<intptr_t>(3 * t)));
    node->triangleIndexes = tris;
}

void Split(const MeshSnapshot& mesh, UVTreeNode* node, const std::vector<int>& tris, D3DXVECTOR3 boxMin,
           D3DXVECTOR3 boxMax, int depth)
{
    node->boxMin = boxMin;
    node->boxMax = boxMax;
    if (static_cast<int>(tris.size()) < kUVTreeLeafSize || depth > kUVTreeMaxDepth) {
        MakeLeaf(node, tris);
        return;
    }

    // Split the longer side; ties split along v.
    const float du = boxMax.x - boxMin.x;
    const float dv = boxMax.z - boxMin.z;
    const bool alongU = du > dv;
    D3DXVECTOR3 lowerMax = boxMax;
    D3DXVECTOR3 upperMin = boxMin;
    float m;
    if (alongU) {
        m = boxMin.x + du * 0.5f;
        lowerMax.x = m;
        upperMin.x = m;
    } else {
        m = boxMin.z + dv * 0.5f;
        lowerMax.z = m;
        upperMin.z = m;
    }

    std::vector<int> lowerList;
    std::vector<int> upperList;
    for (int t : tris) {
        const SnapshotTriangle& tri = mesh.triangles[static_cast<size_t>(t)];
        const int side = ClassifyTriangle(alongU ? tri.u : tri.v, m);
        if (side != 1)
            lowerList.push_back(t);
        if (side != 0)
            upperList.push_back(t);
    }

    // A split that hands every triangle to both halves separates nothing, and when the next split (across
    // the other axis, at the line the children would split on) would not either, going on only copies the
    // list down to the depth limit: 2^17 leaves for overlapping triangles. Every leaf containing a point
    // holds every triangle covering it, in mesh order, so lookups find the same triangle either way.
    if (lowerList.size() == tris.size() && upperList.size() == tris.size() &&
        AllOnBothSides(mesh, tris, !alongU, alongU ? boxMin.z + dv * 0.5f : boxMin.x + du * 0.5f)) {
        MakeLeaf(node, tris);
        return;
    }

    if (!lowerList.empty())
        node->left = new UVTreeNode;
    if (!upperList.empty())
        node->right = new UVTreeNode;
    if (node->left)
        Split(mesh, node->left, lowerList, boxMin, lowerMax, depth + 1);
    if (node->right)
        Split(mesh, node->right, upperList, upperMin, boxMax, depth + 1);
}

} // namespace

UVTreeNode* BuildUVTree(const MeshSnapshot& mesh)
{
    std::vector<int> all(mesh.triangles.size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<int>(i);
    // Each node owns its children as soon as they exist, so if an allocation fails the root frees the
    // partly built tree.
    auto root = std::make_unique<UVTreeNode>();
    Split(mesh, root.get(), all, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 0, 1), 0);
    return root.release();
}

int UVTreeDepth(const UVTreeNode* node)
{
    if (!node || node->leaf)
        return 0;
    return 1 + std::max(UVTreeDepth(node->left), UVTreeDepth(node->right));
}

} // namespace vex::texlight
