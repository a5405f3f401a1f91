#include "CMD2Model.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CMD2Model model;
    model.LoadFromMemory(data, size);
    const md2_mesh_t* mesh = model.getMesh();
    if (!mesh) return 0;
    // safe to draw: every triangle corner names a vertex that exists in every frame
    volatile float sum = 0;
    for (int32_t f = 0; f < mesh->numFrames; ++f)
        for (int32_t i = 0; i < mesh->numTris; ++i)
            for (uint16_t v : mesh->tris[i].vertIndex) {
                if (v >= mesh->numVerts) __builtin_trap();
                sum = sum + mesh->frames[size_t(f) * size_t(mesh->numVerts) + v].pos[0];
            }
    model.SetFrame(mesh->numFrames - 1);
    return 0;
}
