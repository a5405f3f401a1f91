#include "CMD2Model.h"
#include "GlFixture.h"

#include <climits>
#include <cstring>
#include <fstream>

namespace {

using Bytes = std::vector<uint8_t>;
void put32(Bytes& b, size_t at, int32_t v) {
    std::memcpy(&b[at], &v, 4);
}  // the file is little-endian, as this machine
enum Field { FrameSize = 16, NumVerts = 24, NumTris = 32, NumFrames = 40, OfsTris = 52, OfsFrames = 56 };

struct Md2Frame {
    float scale[3], translate[3];
    std::vector<std::array<uint8_t, 4>> verts;  // x, y, z, normal index
};

// Triangles, then frames, so the frames run to the end of the file; the loader reads
// no other header field (magic, version, skins) than these.
Bytes md2(int numVerts, std::vector<std::array<uint16_t, 6>> tris, std::vector<Md2Frame> frames, int padding = 0) {
    const int32_t frameSize = 40 + 4 * numVerts + padding, ofsFrames = 68 + 12 * int32_t(tris.size());
    Bytes out(size_t(ofsFrames + frameSize * int32_t(frames.size())), 0);
    put32(out, FrameSize, frameSize);
    put32(out, NumVerts, numVerts);
    put32(out, NumTris, int32_t(tris.size()));
    put32(out, NumFrames, int32_t(frames.size()));
    put32(out, OfsTris, 68);
    put32(out, OfsFrames, ofsFrames);
    for (size_t i = 0; i < tris.size(); ++i) std::memcpy(&out[68 + 12 * i], tris[i].data(), 12);
    for (size_t f = 0; f < frames.size(); ++f) {
        const size_t at = size_t(ofsFrames) + f * size_t(frameSize);
        std::memcpy(&out[at], frames[f].scale, 24);  // and translate
        for (size_t j = 0; j < frames[f].verts.size(); ++j)
            std::memcpy(&out[at + 40 + 4 * j], frames[f].verts[j].data(), 4);
        std::memset(&out[at + 40 + 4 * numVerts], 0xEE, size_t(padding));
    }
    return out;
}

// One triangle over three vertices, two frames with 8 bytes of padding after each.
Bytes smallModel() {
    return md2(3, {{0, 1, 2, 7, 8, 9}},
               {{{0.5f, 0.25f, 2}, {-1, -2, -3}, {{10, 20, 30, 0}, {0, 0, 0, 5}, {255, 255, 255, 161}}},
                {{1, 1, 1}, {64, 0, -64}, {{1, 2, 3, 32}, {4, 5, 6, 84}, {7, 8, 9, 104}}}},
               8);
}

const md2_mesh_t* load(CMD2Model& m, const Bytes& data) {
    std::ofstream("m.md2", std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    m.LoadModel("m.md2");
    return m.getMesh();
}

void expectVec(const float* v, float x, float y, float z) {
    EXPECT_EQ((std::vector<float>{x, y, z}), std::vector<float>(v, v + 3));
}

using Md2 = GlFixture;

TEST_F(Md2, DecodesPackedVerticesWithAxisSwapAndNormalTable) {
    CMD2Model m;
    const md2_mesh_t* mesh = load(m, smallModel());
    ASSERT_NE(nullptr, mesh);
    EXPECT_TRUE(mesh->numVerts == 3 && mesh->numTris == 1 && mesh->numFrames == 2);
    const md2_vert_t* f = mesh->frames;
    expectVec(f[0].pos, 0.0625f, 0.890625f, 0.046875f);
    expectVec(f[0].normal, -0.525731f, 0.0f, 0.850651f);
    expectVec(f[2].pos, 126.5f / 64, 507.0f / 64, 61.75f / 64);
    expectVec(f[2].normal, -0.688191f, -0.587785f, -0.425325f);  // last table entry
    expectVec(f[3].pos, 65 / 64.0f, -61 / 64.0f, 2 / 64.0f);     // the second frame, after the padding
    EXPECT_TRUE(mesh->tris[0].vertIndex[2] == 2 && mesh->tris[0].texIndex[2] == 9);
    for (const float* n : avertexnormals)
        EXPECT_NEAR(1.0f, n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1e-5f);  // the table holds unit normals
    m.LoadModel("missing.md2");                                             // a failed load removes the mesh
    EXPECT_EQ(nullptr, m.getMesh());
}

TEST_F(Md2, HeaderRulesDecideWhatLoads) {
    struct Case {
        const char* what;
        std::function<void(Bytes&)> edit;
        bool loads;
    };
    const std::vector<Case> cases = {
        {"as written", [](Bytes&) {}, true},
        {"no vertices, triangles or frames", [](Bytes& d) { d = md2(0, {}, {}); }, true},
        {"negative vertex count", [](Bytes& d) { put32(d, NumVerts, -1); }, false},
        {"negative triangle count", [](Bytes& d) { put32(d, NumTris, -1); }, false},
        {"negative frame count", [](Bytes& d) { put32(d, NumFrames, -2); }, false},
        {"frame size below its vertex data", [](Bytes& d) { put32(d, FrameSize, 40 + 4 * 3 - 1); }, false},
        {"triangles one byte past the end", [](Bytes& d) { put32(d, OfsTris, int32_t(d.size()) - 11); }, false},
        {"triangles ending at the end",
         [](Bytes& d) {
             put32(d, OfsTris, int32_t(d.size()) - 12);
             std::memset(&d[d.size() - 12], 0, 6);
         },
         true},
        {"negative triangle offset", [](Bytes& d) { put32(d, OfsTris, -12); }, false},
        {"too many triangles", [](Bytes& d) { put32(d, NumTris, 200); }, false},
        {"frames past the end", [](Bytes& d) { put32(d, NumFrames, 3); }, false},
        {"a single frame cut inside its vertices",
         [](Bytes& d) {
             put32(d, NumFrames, 1);
             d.resize(68 + 12 + 40 + 11);
         },
         false},
        {"negative frame offset", [](Bytes& d) { put32(d, OfsFrames, -40); }, false},
        {"padding of the last frame cut off", [](Bytes& d) { d.resize(d.size() - 8); }, true},
        {"32-bit overflow of the frames",
         [](Bytes& d) {
             put32(d, NumFrames, INT_MAX);
             put32(d, FrameSize, INT_MAX);
             put32(d, OfsFrames, INT_MAX);
         },
         false},
        {"vertex index at the count", [](Bytes& d) { d[68 + 4] = 3; }, false},
        {"vertex index high byte", [](Bytes& d) { d[68 + 1] = 1; }, false},
        {"normal index 161", [](Bytes& d) { d[68 + 12 + 40 + 4 + 3] = 161; }, true},
        {"normal index 162", [](Bytes& d) { d[68 + 12 + 40 + 4 + 3] = 162; }, false},
        {"normal index in the second frame", [](Bytes& d) { d[68 + 12 + 60 + 40 + 8 + 3] = 255; }, false},
    };
    for (const Case& c : cases) {
        Bytes bytes = smallModel();
        CMD2Model m;
        c.edit(bytes);
        ASSERT_NE(nullptr, load(m, smallModel()));  // a bad file drops the mesh before
        // zeros around the bytes look like valid triangles and vertices: only the bounds checks catch a stray read
        Bytes padded(64, 0);
        padded.insert(padded.end(), bytes.begin(), bytes.end());
        padded.resize(padded.size() + 64, 0);
        m.LoadFromMemory(padded.data() + 64, bytes.size());
        EXPECT_EQ(c.loads, m.getMesh() != nullptr) << c.what;
    }
    const Bytes good = smallModel();  // every cut short of the last vertex leaves no mesh
    for (size_t n = 0; n + 8 < good.size(); ++n) {
        const Bytes cut(good.begin(), good.begin() + long(n));  // exactly sized, for the sanitizer
        CMD2Model m;
        m.LoadFromMemory(cut.data(), cut.size());
        EXPECT_EQ(nullptr, m.getMesh()) << n << " bytes";
    }
}

TEST_F(Md2, RendersBlendedKeyframesAndNothingForBadFrames) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_DEPTH_TEST);
    const Md2Frame a{{1, 1, 1}, {-128, -128, -128}, {{100, 110, 120, 0}, {150, 100, 130, 0}, {120, 160, 90, 0}}};
    const Md2Frame b{{1, 1, 1}, {-128, -128, -128}, {{120, 100, 150, 0}, {170, 120, 110, 0}, {110, 140, 100, 0}}};
    CMD2Model m;
    ASSERT_NE(nullptr, load(m, md2(3, {{0, 1, 2, 0, 0, 0}}, {a, b})));
    const float off[3] = {0.05f, -0.1f, 0.02f};  // where the model is placed
    auto capture = [&](int fa, int fb, float t) {
        std::vector<FbVertex> out;
        for (const auto& p : captureFeedback([&] { m.Render(off[0], off[1], off[2], fa, fb, t); }))
            out.insert(out.end(), p.v.begin(), p.v.end());
        return out;
    };
    // t above 1 stops at 1; below 0 extrapolates.
    struct Case {
        int fa, fb;
        float t, expectT;
    };
    for (const Case& c : {Case{0, 1, 0.5f, 0.5f}, {0, 1, 3, 1}, {0, 1, -1, -1}, {1, 0, 0.25f, 0.25f}}) {
        const auto verts = capture(c.fa, c.fb, c.t);
        ASSERT_EQ(3u, verts.size());
        for (int v = 0; v < 3; ++v) {
            const float *pa = m.getMesh()->frames[c.fa * 3 + v].pos, *pb = m.getMesh()->frames[c.fb * 3 + v].pos;
            const float got[3] = {verts[v].x / 198 - 1, verts[v].y / 130 - 1, verts[v].z * 2 - 1};
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(off[k] + pa[k] + c.expectT * (pb[k] - pa[k]), got[k], 2e-4f)
                    << c.fa << c.fb << " t " << c.t;
        }
        // lit grey: the corner whose fixed normal points up at the light is the brightest
        EXPECT_TRUE(verts[1].r == verts[1].b && verts[1].r > verts[0].r + 0.05f && verts[1].r > verts[2].r + 0.05f);
    }
    for (auto [fa, fb] : {std::pair{2, 0}, {0, 2}, {-1, 0}, {0, -1}})
        EXPECT_TRUE(capture(fa, fb, 0.5f).empty()) << fa << "," << fb;
}

}  // namespace
