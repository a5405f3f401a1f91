#ifndef CHIPDISK_CMD2MODEL_H
#define CHIPDISK_CMD2MODEL_H

#include <cstddef>
#include <cstdint>

struct md2_vert_t {
    float pos[3];
    float normal[3];
};

struct md2_tri_t {
    uint16_t vertIndex[3];
    uint16_t texIndex[3];
};

struct md2_mesh_t {
    int32_t numVerts;
    md2_vert_t* frames;
    int32_t numTris;
    int32_t numFrames;
    md2_tri_t* tris;
    int32_t currentFrame;
};

extern const float avertexnormals[162][3];

class CMD2Model {
public:
    CMD2Model();
    ~CMD2Model();
    CMD2Model(const CMD2Model&) = delete;
    CMD2Model& operator=(const CMD2Model&) = delete;

    // Returns 1 in every case; a file that cannot be read or does not hold a
    // consistent MD2 model leaves the model without a mesh.
    int LoadModel(const char* path);
    // Same as LoadModel on bytes already in memory.
    int LoadFromMemory(const unsigned char* data, size_t size);
    int SetFrame(int frame);
    int Render(float x, float y, float z, int frameA, int frameB, float t);

    const md2_mesh_t* getMesh() const { return mesh; }

private:
    void freeMesh();

    md2_mesh_t* mesh;
};

#endif
