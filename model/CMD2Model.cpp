#include "CMD2Model.h"

#include "CDataRoot.h"

#include <GL/gl.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

// The standard MD2 vertex-normal table, indexed by a packed vertex's normal byte.
const float avertexnormals[162][3] = {
    {-0.525731f, 0.000000f, 0.850651f},   {-0.442863f, 0.238856f, 0.864188f},   {-0.295242f, 0.000000f, 0.955423f},
    {-0.309017f, 0.500000f, 0.809017f},   {-0.162460f, 0.262866f, 0.951056f},   {0.000000f, 0.000000f, 1.000000f},
    {0.000000f, 0.850651f, 0.525731f},    {-0.147621f, 0.716567f, 0.681718f},   {0.147621f, 0.716567f, 0.681718f},
    {0.000000f, 0.525731f, 0.850651f},    {0.309017f, 0.500000f, 0.809017f},    {0.525731f, 0.000000f, 0.850651f},
    {0.295242f, 0.000000f, 0.955423f},    {0.442863f, 0.238856f, 0.864188f},    {0.162460f, 0.262866f, 0.951056f},
    {-0.681718f, 0.147621f, 0.716567f},   {-0.809017f, 0.309017f, 0.500000f},   {-0.587785f, 0.425325f, 0.688191f},
    {-0.850651f, 0.525731f, 0.000000f},   {-0.864188f, 0.442863f, 0.238856f},   {-0.716567f, 0.681718f, 0.147621f},
    {-0.688191f, 0.587785f, 0.425325f},   {-0.500000f, 0.809017f, 0.309017f},   {-0.238856f, 0.864188f, 0.442863f},
    {-0.425325f, 0.688191f, 0.587785f},   {-0.716567f, 0.681718f, -0.147621f},  {-0.500000f, 0.809017f, -0.309017f},
    {-0.525731f, 0.850651f, 0.000000f},   {0.000000f, 0.850651f, -0.525731f},   {-0.238856f, 0.864188f, -0.442863f},
    {0.000000f, 0.955423f, -0.295242f},   {-0.262866f, 0.951056f, -0.162460f},  {0.000000f, 1.000000f, 0.000000f},
    {0.000000f, 0.955423f, 0.295242f},    {-0.262866f, 0.951056f, 0.162460f},   {0.238856f, 0.864188f, 0.442863f},
    {0.262866f, 0.951056f, 0.162460f},    {0.500000f, 0.809017f, 0.309017f},    {0.238856f, 0.864188f, -0.442863f},
    {0.262866f, 0.951056f, -0.162460f},   {0.500000f, 0.809017f, -0.309017f},   {0.850651f, 0.525731f, 0.000000f},
    {0.716567f, 0.681718f, 0.147621f},    {0.716567f, 0.681718f, -0.147621f},   {0.525731f, 0.850651f, 0.000000f},
    {0.425325f, 0.688191f, 0.587785f},    {0.864188f, 0.442863f, 0.238856f},    {0.688191f, 0.587785f, 0.425325f},
    {0.809017f, 0.309017f, 0.500000f},    {0.681718f, 0.147621f, 0.716567f},    {0.587785f, 0.425325f, 0.688191f},
    {0.955423f, 0.295242f, 0.000000f},    {1.000000f, 0.000000f, 0.000000f},    {0.951056f, 0.162460f, 0.262866f},
    {0.850651f, -0.525731f, 0.000000f},   {0.955423f, -0.295242f, 0.000000f},   {0.864188f, -0.442863f, 0.238856f},
    {0.951056f, -0.162460f, 0.262866f},   {0.809017f, -0.309017f, 0.500000f},   {0.681718f, -0.147621f, 0.716567f},
    {0.850651f, 0.000000f, 0.525731f},    {0.864188f, 0.442863f, -0.238856f},   {0.809017f, 0.309017f, -0.500000f},
    {0.951056f, 0.162460f, -0.262866f},   {0.525731f, 0.000000f, -0.850651f},   {0.681718f, 0.147621f, -0.716567f},
    {0.681718f, -0.147621f, -0.716567f},  {0.850651f, 0.000000f, -0.525731f},   {0.809017f, -0.309017f, -0.500000f},
    {0.864188f, -0.442863f, -0.238856f},  {0.951056f, -0.162460f, -0.262866f},  {0.147621f, 0.716567f, -0.681718f},
    {0.309017f, 0.500000f, -0.809017f},   {0.425325f, 0.688191f, -0.587785f},   {0.442863f, 0.238856f, -0.864188f},
    {0.587785f, 0.425325f, -0.688191f},   {0.688191f, 0.587785f, -0.425325f},   {-0.147621f, 0.716567f, -0.681718f},
    {-0.309017f, 0.500000f, -0.809017f},  {0.000000f, 0.525731f, -0.850651f},   {-0.525731f, 0.000000f, -0.850651f},
    {-0.442863f, 0.238856f, -0.864188f},  {-0.295242f, 0.000000f, -0.955423f},  {-0.162460f, 0.262866f, -0.951056f},
    {0.000000f, 0.000000f, -1.000000f},   {0.295242f, 0.000000f, -0.955423f},   {0.162460f, 0.262866f, -0.951056f},
    {-0.442863f, -0.238856f, -0.864188f}, {-0.309017f, -0.500000f, -0.809017f}, {-0.162460f, -0.262866f, -0.951056f},
    {0.000000f, -0.850651f, -0.525731f},  {-0.147621f, -0.716567f, -0.681718f}, {0.147621f, -0.716567f, -0.681718f},
    {0.000000f, -0.525731f, -0.850651f},  {0.309017f, -0.500000f, -0.809017f},  {0.442863f, -0.238856f, -0.864188f},
    {0.162460f, -0.262866f, -0.951056f},  {0.238856f, -0.864188f, -0.442863f},  {0.500000f, -0.809017f, -0.309017f},
    {0.425325f, -0.688191f, -0.587785f},  {0.716567f, -0.681718f, -0.147621f},  {0.688191f, -0.587785f, -0.425325f},
    {0.587785f, -0.425325f, -0.688191f},  {0.000000f, -0.955423f, -0.295242f},  {0.000000f, -1.000000f, 0.000000f},
    {0.262866f, -0.951056f, -0.162460f},  {0.000000f, -0.850651f, 0.525731f},   {0.000000f, -0.955423f, 0.295242f},
    {0.238856f, -0.864188f, 0.442863f},   {0.262866f, -0.951056f, 0.162460f},   {0.500000f, -0.809017f, 0.309017f},
    {0.716567f, -0.681718f, 0.147621f},   {0.525731f, -0.850651f, 0.000000f},   {-0.238856f, -0.864188f, -0.442863f},
    {-0.500000f, -0.809017f, -0.309017f}, {-0.262866f, -0.951056f, -0.162460f}, {-0.850651f, -0.525731f, 0.000000f},
    {-0.716567f, -0.681718f, -0.147621f}, {-0.716567f, -0.681718f, 0.147621f},  {-0.525731f, -0.850651f, 0.000000f},
    {-0.500000f, -0.809017f, 0.309017f},  {-0.238856f, -0.864188f, 0.442863f},  {-0.262866f, -0.951056f, 0.162460f},
    {-0.864188f, -0.442863f, 0.238856f},  {-0.809017f, -0.309017f, 0.500000f},  {-0.688191f, -0.587785f, 0.425325f},
    {-0.681718f, -0.147621f, 0.716567f},  {-0.442863f, -0.238856f, 0.864188f},  {-0.587785f, -0.425325f, 0.688191f},
    {-0.309017f, -0.500000f, 0.809017f},  {-0.147621f, -0.716567f, 0.681718f},  {-0.425325f, -0.688191f, 0.587785f},
    {-0.162460f, -0.262866f, 0.951056f},  {0.442863f, -0.238856f, 0.864188f},   {0.162460f, -0.262866f, 0.951056f},
    {0.309017f, -0.500000f, 0.809017f},   {0.147621f, -0.716567f, 0.681718f},   {0.000000f, -0.525731f, 0.850651f},
    {0.425325f, -0.688191f, 0.587785f},   {0.587785f, -0.425325f, 0.688191f},   {0.688191f, -0.587785f, 0.425325f},
    {-0.955423f, 0.295242f, 0.000000f},   {-0.951056f, 0.162460f, 0.262866f},   {-1.000000f, 0.000000f, 0.000000f},
    {-0.850651f, 0.000000f, 0.525731f},   {-0.955423f, -0.295242f, 0.000000f},  {-0.951056f, -0.162460f, 0.262866f},
    {-0.864188f, 0.442863f, -0.238856f},  {-0.951056f, 0.162460f, -0.262866f},  {-0.809017f, 0.309017f, -0.500000f},
    {-0.864188f, -0.442863f, -0.238856f}, {-0.951056f, -0.162460f, -0.262866f}, {-0.809017f, -0.309017f, -0.500000f},
    {-0.681718f, 0.147621f, -0.716567f},  {-0.681718f, -0.147621f, -0.716567f}, {-0.850651f, 0.000000f, -0.525731f},
    {-0.688191f, 0.587785f, -0.425325f},  {-0.587785f, 0.425325f, -0.688191f},  {-0.425325f, 0.688191f, -0.587785f},
    {-0.425325f, -0.688191f, -0.587785f}, {-0.587785f, -0.425325f, -0.688191f}, {-0.688191f, -0.587785f, -0.425325f},
};

namespace {

constexpr int64_t kHeaderSize = 68;
constexpr int64_t kFrameHeaderSize = 40;  // scale, translate, 16-byte name
constexpr int64_t kTriangleSize = 12;
constexpr int kNumNormals = 162;

int32_t readI32(const unsigned char* p) {
    uint32_t u = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    int32_t v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

float readF32(const unsigned char* p) {
    uint32_t u = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    float v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

uint16_t readU16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }

struct Header {
    int32_t frameSize, numVerts, numTris, numFrames, ofsTris, ofsFrames;
};

// Every count and offset is checked against the buffer before anything is
// decoded, so a damaged file can never make the decoder leave the buffer.
bool validate(const unsigned char* data, int64_t size, Header& h) {
    if (size < kHeaderSize) return false;
    h.frameSize = readI32(data + 16);
    h.numVerts = readI32(data + 24);
    h.numTris = readI32(data + 32);
    h.numFrames = readI32(data + 40);
    h.ofsTris = readI32(data + 52);
    h.ofsFrames = readI32(data + 56);
    if (h.numVerts < 0 || h.numTris < 0 || h.numFrames < 0) return false;

    const int64_t vertBytes = 4 * int64_t(h.numVerts);
    if (int64_t(h.frameSize) < kFrameHeaderSize + vertBytes) return false;

    if (h.numTris > 0) {
        if (h.ofsTris < 0 || h.ofsTris + kTriangleSize * h.numTris > size) return false;
    }
    if (h.numFrames > 0) {
        const int64_t end =
            int64_t(h.ofsFrames) + int64_t(h.numFrames - 1) * h.frameSize + kFrameHeaderSize + vertBytes;
        if (h.ofsFrames < 0 || end > size) return false;
    }

    for (int32_t i = 0; i < h.numTris; ++i) {
        const unsigned char* rec = data + h.ofsTris + kTriangleSize * i;
        for (int c = 0; c < 3; ++c)
            if (readU16(rec + 2 * c) >= h.numVerts) return false;
    }
    for (int32_t i = 0; i < h.numFrames; ++i) {
        const unsigned char* verts = data + h.ofsFrames + int64_t(i) * h.frameSize + kFrameHeaderSize;
        for (int32_t j = 0; j < h.numVerts; ++j)
            if (verts[4 * j + 3] >= kNumNormals) return false;
    }
    return true;
}

}  // namespace

CMD2Model::CMD2Model() : mesh(nullptr) {}

CMD2Model::~CMD2Model() { freeMesh(); }

void CMD2Model::freeMesh() {
    if (!mesh) return;
    delete[] mesh->frames;
    delete[] mesh->tris;
    delete mesh;
    mesh = nullptr;
}

int CMD2Model::LoadModel(const char* path) {
    std::vector<unsigned char> bytes;
    {
        std::ifstream in(CDataRoot::resolve(path), std::ios::binary);
        if (!in) {
            freeMesh();
            return 1;
        }
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) bytes.clear();
    }
    return LoadFromMemory(bytes.data(), bytes.size());
}

int CMD2Model::LoadFromMemory(const unsigned char* data, size_t size) {
    freeMesh();
    Header h;
    if (!data || !validate(data, int64_t(size), h)) return 1;

    md2_vert_t* frames = new md2_vert_t[size_t(h.numFrames) * size_t(h.numVerts)];
    md2_tri_t* tris = new md2_tri_t[size_t(h.numTris)];

    for (int32_t i = 0; i < h.numFrames; ++i) {
        const unsigned char* rec = data + h.ofsFrames + int64_t(i) * h.frameSize;
        float scale[3], translate[3];
        for (int k = 0; k < 3; ++k) {
            scale[k] = readF32(rec + 4 * k);
            translate[k] = readF32(rec + 12 + 4 * k);
        }
        for (int32_t j = 0; j < h.numVerts; ++j) {
            const unsigned char* p = rec + kFrameHeaderSize + 4 * j;
            const float f0 = p[0] * scale[0] + translate[0];
            const float f1 = p[1] * scale[1] + translate[1];
            const float f2 = p[2] * scale[2] + translate[2];
            md2_vert_t& v = frames[size_t(i) * size_t(h.numVerts) + size_t(j)];
            // The file is z-up; drawing is y-up.
            v.pos[0] = f0 / 64.0f;
            v.pos[1] = f2 / 64.0f;
            v.pos[2] = f1 / 64.0f;
            std::memcpy(v.normal, avertexnormals[p[3]], sizeof v.normal);
        }
    }
    for (int32_t i = 0; i < h.numTris; ++i) {
        const unsigned char* rec = data + h.ofsTris + kTriangleSize * i;
        for (int c = 0; c < 3; ++c) {
            tris[i].vertIndex[c] = readU16(rec + 2 * c);
            tris[i].texIndex[c] = readU16(rec + 6 + 2 * c);
        }
    }

    mesh = new md2_mesh_t{h.numVerts, frames, h.numTris, h.numFrames, tris, 0};
    return 1;
}

int CMD2Model::SetFrame(int frame) {
    if (mesh) mesh->currentFrame = frame;
    return 1;
}

int CMD2Model::Render(float x, float y, float z, int frameA, int frameB, float t) {
    if (!mesh) return 1;

    static const GLfloat ambient[] = {1.0f, 1.0f, 1.0f, 0.4f};
    static const GLfloat diffuse[] = {1.0f, 1.0f, 1.0f, 1.0f};
    static const GLfloat position[] = {0.0f, 10.0f, 2.0f, 1.0f};
    glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT1, GL_POSITION, position);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT1);

    if (t > 1.0f) t = 1.0f;

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);

    // Out-of-range frames still leave the same state behind, they just draw nothing.
    const bool inRange = frameA >= 0 && frameA < mesh->numFrames && frameB >= 0 && frameB < mesh->numFrames;
    if (inRange) {
        const md2_vert_t* a = mesh->frames + size_t(frameA) * size_t(mesh->numVerts);
        const md2_vert_t* b = mesh->frames + size_t(frameB) * size_t(mesh->numVerts);
        static const GLfloat cornerNormal[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

        glBegin(GL_TRIANGLES);
        glColor4f(1.0f, 0.0f, 1.0f, 0.1f);
        for (int32_t i = 0; i < mesh->numTris; ++i) {
            for (int c = 0; c < 3; ++c) {
                const int v = mesh->tris[i].vertIndex[c];
                const float* pa = a[v].pos;
                const float* pb = b[v].pos;
                glNormal3fv(cornerNormal[c]);
                glVertex3f(x + pa[0] + t * (pb[0] - pa[0]), y + pa[1] + t * (pb[1] - pa[1]),
                           z + pa[2] + t * (pb[2] - pa[2]));
            }
        }
        glEnd();
    }
    glDisable(GL_TEXTURE_2D);
    return 1;
}
