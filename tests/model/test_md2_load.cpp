#include "CMD2Model.h"
#include "Md2Builder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace {

// One triangle over three vertices, two frames with padding between them.
Md2Builder smallModel() {
    Md2Builder b;
    b.numVerts = 3;
    b.framePadding = 8;
    b.tris = {{0, 1, 2, 7, 8, 9}};
    Md2Builder::Frame a;
    a.scale = {0.5f, 0.25f, 2.0f};
    a.translate = {-1, -2, -3};
    a.verts = {{10, 20, 30, 0}, {0, 0, 0, 5}, {255, 255, 255, 161}};
    Md2Builder::Frame c;
    c.scale = {1, 1, 1};
    c.translate = {64, 0, -64};
    c.verts = {{1, 2, 3, 32}, {4, 5, 6, 84}, {7, 8, 9, 104}};
    b.frames = {a, c};
    return b;
}

const md2_mesh_t* loadBytes(CMD2Model& m, const std::vector<uint8_t>& data, const std::string& name) {
    const std::string path = writeTempFile(data, name);
    m.LoadModel(path.c_str());
    std::remove(path.c_str());
    return m.getMesh();
}

void expectVec(const float* v, float x, float y, float z) {
    EXPECT_FLOAT_EQ(v[0], x);
    EXPECT_FLOAT_EQ(v[1], y);
    EXPECT_FLOAT_EQ(v[2], z);
}

}  // namespace

TEST(MD2Load, DecodesPackedVerticesWithAxisSwapAndNormalTable) {
    Md2Builder b = smallModel();
    b.magic = "XYZW";  // neither magic nor version is looked at
    b.version = -5;
    CMD2Model m;
    const md2_mesh_t* mesh = loadBytes(m, b.bytes(), "decode.md2");
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->numVerts, 3);
    EXPECT_EQ(mesh->numTris, 1);
    EXPECT_EQ(mesh->numFrames, 2);

    const md2_vert_t* f = mesh->frames;
    expectVec(f[0].pos, 0.0625f, 0.890625f, 0.046875f);
    expectVec(f[0].normal, -0.525731f, 0.0f, 0.850651f);
    expectVec(f[1].pos, -1 / 64.0f, -3 / 64.0f, -2 / 64.0f);
    expectVec(f[1].normal, avertexnormals[5][0], avertexnormals[5][1], avertexnormals[5][2]);
    expectVec(f[2].pos, 126.5f / 64, 507.0f / 64, 61.75f / 64);
    expectVec(f[2].normal, -0.688191f, -0.587785f, -0.425325f);  // last table entry

    // Second frame starts frameSize bytes (with its padding) after the first.
    expectVec(f[3].pos, 65 / 64.0f, -61 / 64.0f, 2 / 64.0f);
    expectVec(f[5].pos, 71 / 64.0f, -55 / 64.0f, 8 / 64.0f);
    expectVec(f[4].normal, avertexnormals[84][0], avertexnormals[84][1], avertexnormals[84][2]);

    const md2_tri_t& t = mesh->tris[0];
    EXPECT_EQ(t.vertIndex[0], 0);
    EXPECT_EQ(t.vertIndex[2], 2);
    EXPECT_EQ(t.texIndex[0], 7);
    EXPECT_EQ(t.texIndex[2], 9);
}

TEST(MD2Load, NormalTableIsUnitVectors) {
    for (int i = 0; i < 162; ++i) {
        const float* n = avertexnormals[i];
        EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 1e-5f) << i;
    }
}

TEST(MD2Load, SetFrameAndReloadAndMissingFile) {
    CMD2Model m;
    m.LoadModel("/nonexistent/chipdisk/model.md2");
    EXPECT_EQ(m.getMesh(), nullptr);
    EXPECT_EQ(m.SetFrame(3), 1);
    EXPECT_EQ(m.Render(0, 0, 0, 0, 0, 1), 1);  // no mesh: must not touch GL at all

    Md2Builder one;
    one.numVerts = 1;
    one.frames.resize(1);
    one.frames[0].verts = {{64, 0, 0, 0}};
    ASSERT_NE(loadBytes(m, one.bytes(), "one.md2"), nullptr);
    m.SetFrame(4);
    EXPECT_EQ(m.getMesh()->currentFrame, 4);

    // A second load replaces the mesh, a failing one removes it.
    const md2_mesh_t* mesh = loadBytes(m, smallModel().bytes(), "two.md2");
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->numVerts, 3);
    EXPECT_EQ(mesh->currentFrame, 0);
    m.LoadModel("/nonexistent/chipdisk/model.md2");
    EXPECT_EQ(m.getMesh(), nullptr);
}

TEST(MD2Load, RejectsInconsistentHeadersAndIndices) {
    using B = Md2Builder;
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> breakIt;
    };
    const std::vector<Case> cases = {
        {"shorter than a header", [](auto& d) { d.resize(67); }},
        {"negative vertex count", [](auto& d) { B::put32(d, B::NumVerts, -1); }},
        {"negative triangle count", [](auto& d) { B::put32(d, B::NumTris, -1); }},
        {"negative frame count", [](auto& d) { B::put32(d, B::NumFrames, -2); }},
        {"frame size below vertex data", [](auto& d) { B::put32(d, B::FrameSize, 40 + 4 * 3 - 1); }},
        {"triangles past the end", [](auto& d) { B::put32(d, B::OfsTris, int32_t(d.size()) - 11); }},
        {"negative triangle offset", [](auto& d) { B::put32(d, B::OfsTris, -12); }},
        {"too many triangles", [](auto& d) { B::put32(d, B::NumTris, 200); }},
        {"frames past the end", [](auto& d) { B::put32(d, B::NumFrames, 3); }},
        {"negative frame offset", [](auto& d) { B::put32(d, B::OfsFrames, -40); }},
        {"last frame one byte past the end", [](auto& d) { B::put32(d, B::OfsFrames, 68 + 12 + 1); }},
        {"32-bit overflow of the frame section",
         [](auto& d) {
             B::put32(d, B::NumFrames, INT_MAX);
             B::put32(d, B::FrameSize, INT_MAX);
             B::put32(d, B::OfsFrames, INT_MAX);
         }},
        {"wrapping frame offset", [](auto& d) { B::put32(d, B::OfsFrames, INT_MIN + 80); }},
        {"vertex index at the count", [](auto& d) { d[68 + 4] = 3; }},
        {"vertex index high byte", [](auto& d) { d[68 + 1] = 1; }},
        {"normal index 162", [](auto& d) { d[68 + 12 + 40 + 4 + 3] = 162; }},
        {"normal index in the second frame", [](auto& d) { d[68 + 12 + 60 + 40 + 8 + 3] = 255; }},
    };
    const std::vector<uint8_t> good = smallModel().bytes();
    CMD2Model m;
    ASSERT_NE(loadBytes(m, good, "good.md2"), nullptr);
    for (const Case& c : cases) {
        std::vector<uint8_t> bad = good;
        c.breakIt(bad);
        CMD2Model fresh;
        EXPECT_EQ(loadBytes(fresh, bad, "bad.md2"), nullptr) << c.name;
        EXPECT_EQ(fresh.SetFrame(0), 1);
        EXPECT_EQ(fresh.Render(0, 0, 0, 0, 0, 1), 1);
        // Zeros around the data look like valid triangles and vertices, so a
        // section that strays outside is only caught by the bounds checks.
        std::vector<uint8_t> padded(64, 0);
        padded.insert(padded.end(), bad.begin(), bad.end());
        padded.resize(padded.size() + 64, 0);
        fresh.LoadFromMemory(padded.data() + 64, bad.size());
        EXPECT_EQ(fresh.getMesh(), nullptr) << c.name << " (in memory)";
        // A bad file also throws away a mesh loaded before.
        ASSERT_NE(loadBytes(m, good, "good.md2"), nullptr);
        EXPECT_EQ(loadBytes(m, bad, "bad.md2"), nullptr) << c.name;
    }
}

TEST(MD2Load, EveryTruncationLeavesNoMesh) {
    const Md2Builder b = smallModel();
    const std::vector<uint8_t> good = b.bytes();
    // The padding after the last frame's vertices is never read.
    const size_t needed = good.size() - size_t(b.framePadding);
    CMD2Model m;
    for (size_t n = 0; n <= good.size(); ++n) {
        // An exactly sized copy, so a sanitizer sees any read past the end.
        std::vector<uint8_t> cut(good.begin(), good.begin() + long(n));
        m.LoadFromMemory(cut.data(), cut.size());
        EXPECT_EQ(m.getMesh() != nullptr, n >= needed) << n << " bytes";
    }
    EXPECT_EQ(loadBytes(m, std::vector<uint8_t>(good.begin(), good.begin() + long(needed) - 1), "cut.md2"), nullptr);
}

TEST(MD2Load, EmptySectionsAreAllowed) {
    Md2Builder b;  // no vertices, no triangles, no frames
    CMD2Model m;
    const md2_mesh_t* mesh = loadBytes(m, b.bytes(), "empty.md2");
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->numFrames, 0);
    EXPECT_EQ(mesh->numTris, 0);
}

// Every input the fuzzer ever crashed on, and the seeds, must load safely;
// a mesh that does load has to be internally consistent.
TEST(MD2Load, FuzzRegressionsAndSeedsLoadSafely) {
    namespace fs = std::filesystem;
    int files = 0;
    for (const char* dir : {"tests/fuzz/regressions/md2", "tests/fuzz/corpus/md2"}) {
        const fs::path root = fs::path(CHIPDISK_SOURCE_DIR) / dir;
        ASSERT_TRUE(fs::is_directory(root)) << root;
        for (const auto& entry : fs::directory_iterator(root)) {
            if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.') continue;
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            CMD2Model m;
            m.LoadFromMemory(data.data(), data.size());
            ++files;
            if (const md2_mesh_t* mesh = m.getMesh()) {
                for (int i = 0; i < mesh->numTris; ++i) {
                    for (int c = 0; c < 3; ++c) {
                        EXPECT_LT(mesh->tris[i].vertIndex[c], mesh->numVerts) << entry.path();
                    }
                }
            }
            if (std::string(dir).find("corpus") != std::string::npos) {
                EXPECT_NE(m.getMesh(), nullptr) << "seed should be valid: " << entry.path();
            }
        }
    }
    EXPECT_GE(files, 2);
}
