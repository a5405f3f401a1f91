#ifndef CHIPDISK_TESTS_PNGWRITER_H
#define CHIPDISK_TESTS_PNGWRITER_H

#include <cstdint>
#include <string>
#include <vector>

// Writes small PNG files of any colour type and depth for the loader and texture tests.
struct PngPicture {
    int width = 0;
    int height = 0;
    int bitDepth = 8;
    int colorType = 6;
    // Rows in file order (top first), each already packed as the PNG stores it.
    std::vector<std::vector<uint8_t>> rows;
    // Palette entries as r, g, b triples (colour type 3 only).
    std::vector<uint8_t> palette;
    // tRNS: per-entry alphas for palettes, or one colour value for grey / RGB.
    bool hasTrns = false;
    std::vector<uint8_t> trnsAlpha;
    uint16_t trnsGrey = 0;
    bool interlaced = false;  // Adam7
};

bool writePng(const std::string& path, const PngPicture& pic);

// An 8-bit RGBA picture from top-first pixels packed as r, g, b, a.
bool writeRgba(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba);

// A fresh directory under /tmp for this process's files, removed when the process exits.
std::string scratchDir();

// Number of open file descriptors of this process.
int openFileCount();

#endif
