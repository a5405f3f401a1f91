#ifndef CHIPDISK_TEST_XMWRITER_H
#define CHIPDISK_TEST_XMWRITER_H

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

// Builds a tiny but valid FastTracker 2 module: one instrument holding one looped
// sine cycle of 32 samples, two channels, one 16-row pattern whose first row
// row `row` plays `note` (XM numbering, 49 = C-4, heard at 8363 / 32 = 261 Hz).
// The note rings on through the loop, so only the first pass has the silent lead-in.
// sampleLen: sample frames of the one looped sine cycle (large ones make big files)
inline std::vector<char> makeSineXm(int note = 49, int row = 0, int sampleLen = 32) {
    std::vector<char> b;
    auto u8 = [&](int v) { b.push_back(static_cast<char>(v & 0xFF)); };
    auto u16 = [&](int v) { u8(v); u8(v >> 8); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    auto text = [&](const std::string& s, std::size_t n) {
        for (std::size_t i = 0; i < n; i++) u8(i < s.size() ? s[i] : 0);
    };
    const int rows = 16, channels = 2;

    text("Extended Module: ", 17);
    text("sine test", 20);
    u8(0x1A);
    text("chipdisk tests", 20);
    u16(0x0104);
    u32(276);       // header size, counted from here
    u16(1);         // song length
    u16(0);         // restart position
    u16(channels);
    u16(1);         // patterns
    u16(1);         // instruments
    u16(1);         // linear frequency table
    u16(6);         // ticks per row
    u16(125);       // BPM
    for (int i = 0; i < 256; i++) u8(0);  // order table: pattern 0

    // pattern: first cell plays the note, every other cell is packed empty
    std::vector<char> cells;
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < channels; c++) {
            if (r == row && c == 0) {
                cells.push_back(static_cast<char>(note));
                cells.push_back(1);     // instrument
                cells.push_back(0x50);  // volume 64
                cells.push_back(0);
                cells.push_back(0);
            } else {
                cells.push_back(static_cast<char>(0x80));
            }
        }
    u32(9);
    u8(0);
    u16(rows);
    u16(static_cast<int>(cells.size()));
    b.insert(b.end(), cells.begin(), cells.end());

    // instrument header: 263 bytes with one sample
    u32(263);
    text("sine", 22);
    u8(0);
    u16(1);
    u32(40);
    for (int i = 0; i < 96; i++) u8(0);   // every key uses sample 0
    u16(0); u16(64);                        // flat volume envelope (unused: type 0)
    for (int i = 0; i < 44; i++) u8(0);
    for (int i = 0; i < 48; i++) u8(0);   // panning envelope
    u8(0); u8(0);                           // envelope points
    for (int i = 0; i < 6; i++) u8(0);    // sustain / loop points
    u8(0); u8(0);                           // envelope types
    for (int i = 0; i < 4; i++) u8(0);    // vibrato
    u16(0);                                 // fadeout
    for (int i = 0; i < 22; i++) u8(0);   // reserved

    // sample header
    u32(sampleLen);
    u32(0);
    u32(sampleLen);  // loop the whole cycle
    u8(64);          // volume
    u8(0);           // finetune
    u8(1);           // forward loop, 8 bit
    u8(128);         // centre panning
    u8(0);           // relative note
    u8(0);
    text("sine", 22);

    // 8-bit sample data is stored as deltas
    int prev = 0;
    for (int i = 0; i < sampleLen; i++) {
        int v = static_cast<int>(std::lround(127.0 * std::sin(2.0 * M_PI * i / sampleLen)));
        u8(v - prev);
        prev = v;
    }
    return b;
}

inline void writeFile(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

#endif
