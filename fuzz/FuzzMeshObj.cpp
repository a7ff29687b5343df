// The mesh stand-in's OBJ reader, kept apart from the collision object's header (both name a grid limit).
#include "siblings/mesh/MeshGenerators.h"

#include <string>

namespace vex::fuzz {

/// False with the problem when a mesh that the reader accepted does not validate.
bool ReadObjMeshFile(const std::string& path, std::string* problem)
{
    MeshData mesh;
    std::string error;
    if (!LoadObjMesh(path, mesh, &error))
        return true;
    if (ValidateMesh(mesh, &error))
        return true;
    *problem = "an OBJ mesh that does not validate: " + error;
    return false;
}

} // namespace vex::fuzz
