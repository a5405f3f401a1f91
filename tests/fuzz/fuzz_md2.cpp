#include "CMD2Model.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CMD2Model model;
    model.LoadFromMemory(data, size);
    const md2_mesh_t* mesh = model.getMesh();
    if (!mesh) return 0;

    // Whatever was accepted must be safe to draw: every triangle corner has to
    // name a vertex that exists in every frame.
    float sum = 0;
    for (int32_t f = 0; f < mesh->numFrames; ++f)
        for (int32_t i = 0; i < mesh->numTris; ++i)
            for (int c = 0; c < 3; ++c) {
                const uint16_t v = mesh->tris[i].vertIndex[c];
                if (v >= mesh->numVerts) __builtin_trap();
                const md2_vert_t& vert = mesh->frames[size_t(f) * size_t(mesh->numVerts) + v];
                sum += vert.pos[0] + vert.normal[2];
            }
    model.SetFrame(mesh->numFrames - 1);
    volatile float keep = sum;
    (void)keep;
    return 0;
}
