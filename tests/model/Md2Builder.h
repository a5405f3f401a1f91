#ifndef CHIPDISK_TESTS_MD2BUILDER_H
#define CHIPDISK_TESTS_MD2BUILDER_H

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

// Writes small MD2 files for the tests: header, triangles, then frames, so
// the frames run to the end of the file and any truncation cuts into them.
struct Md2Builder {
    struct Frame {
        std::array<float, 3> scale{1, 1, 1};
        std::array<float, 3> translate{0, 0, 0};
        std::vector<std::array<uint8_t, 4>> verts;
    };
    std::string magic = "IDP2";
    int32_t version = 8;
    int32_t numVerts = 0;
    int32_t framePadding = 0;  // extra bytes after each frame's vertices
    std::vector<std::array<uint16_t, 6>> tris;
    std::vector<Frame> frames;

    enum Field { FrameSize = 16, NumVerts = 24, NumTris = 32, NumFrames = 40, OfsTris = 52, OfsFrames = 56, OfsEnd = 64 };

    std::vector<uint8_t> bytes() const {
        const int32_t frameSize = 40 + 4 * numVerts + framePadding;
        const int32_t ofsTris = 68;
        const int32_t ofsFrames = ofsTris + 12 * int32_t(tris.size());
        const int32_t ofsEnd = ofsFrames + frameSize * int32_t(frames.size());
        std::vector<uint8_t> out(size_t(ofsEnd), 0);
        std::memcpy(out.data(), magic.data(), 4);
        const int32_t h[16] = {version, 64, 64, frameSize, 0, numVerts, 0, int32_t(tris.size()), 0,
                               int32_t(frames.size()), 68, 68, ofsTris, ofsFrames, ofsEnd, ofsEnd};
        for (int i = 0; i < 16; ++i) put32(out, 4 + 4 * i, h[i]);
        for (size_t i = 0; i < tris.size(); ++i)
            for (int k = 0; k < 6; ++k) {
                out[ofsTris + 12 * i + 2 * k] = uint8_t(tris[i][k]);
                out[ofsTris + 12 * i + 2 * k + 1] = uint8_t(tris[i][k] >> 8);
            }
        for (size_t f = 0; f < frames.size(); ++f) {
            const size_t at = size_t(ofsFrames) + f * size_t(frameSize);
            for (int k = 0; k < 3; ++k) {
                putF(out, at + 4 * k, frames[f].scale[k]);
                putF(out, at + 12 + 4 * k, frames[f].translate[k]);
            }
            std::memcpy(&out[at + 24], "frame", 5);
            for (size_t j = 0; j < frames[f].verts.size(); ++j)
                std::memcpy(&out[at + 40 + 4 * j], frames[f].verts[j].data(), 4);
            for (int p = 0; p < framePadding; ++p) out[at + 40 + 4 * numVerts + p] = 0xEE;
        }
        return out;
    }

    static void put32(std::vector<uint8_t>& b, size_t at, int32_t v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        for (int k = 0; k < 4; ++k) b[at + k] = uint8_t(u >> (8 * k));
    }
    static void putF(std::vector<uint8_t>& b, size_t at, float v) {
        int32_t i;
        std::memcpy(&i, &v, 4);
        put32(b, at, i);
    }
};

inline std::string writeTempFile(const std::vector<uint8_t>& data, const std::string& name) {
    const std::string path = "/tmp/chipdisk-model-" + std::to_string(getpid()) + "-" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    return path;
}

#endif
