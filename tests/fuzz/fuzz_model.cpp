// The model reader on arbitrary bytes: it must refuse or accept without reading outside them.
#include "render/model.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The input is a heap block of its exact size, so ASan sees any read past the end.
    miResources::MeshData mesh;
    if (miResources::ParseMeshData(data, size, mesh))
    {
        // What was accepted must be consistent: every index names a vertex.
        for (uint32_t s = 0; s < mesh.surfaceCount; ++s)
            for (uint32_t i = 0; i < mesh.surfaces[s].indexCount; ++i)
                if (mesh.surfaces[s].indices[i] >= mesh.vertexCount) __builtin_trap();
        std::vector<uint8_t> again(miResources::WriteMeshImage(mesh, 0, nullptr));
        miResources::WriteMeshImage(mesh, 0, again.data());
        if (again.size() != size) __builtin_trap();
    }
    return 0;
}
