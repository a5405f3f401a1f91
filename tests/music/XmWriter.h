#ifndef CHIPDISK_TEST_XMWRITER_H
#define CHIPDISK_TEST_XMWRITER_H

#include <cmath>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

// A tiny valid FastTracker 2 module: one looped sine cycle of sampleLen samples, two
// channels, one 16-row pattern whose row `row` plays `note` (49 = C-4, 8363 / 32 = 261 Hz)
// panned at `pan` (0 left, 128 centre); it rings on: only the first pass has a lead-in.
// The module's own title is `title`, at most 20 bytes; the sample holds `cycles` sine
// cycles (a big sample makes a big file of the same tone).
inline std::vector<char> makeSineXm(int note = 49, int row = 0, int sampleLen = 32, int pan = 128,
                                    const char* title = "sine test", int cycles = 1) {
    std::vector<char> b;
    auto put = [&](std::initializer_list<int> values, int bytes) {  // little-endian
        for (int v : values)
            for (int i = 0; i < bytes; i++) b.push_back(static_cast<char>(v >> 8 * i));
    };
    auto text = [&](const char* s, int n) {
        while (n--) b.push_back(*s ? *s++ : 0);
    };
    text("Extended Module: ", 17);
    text(title, 20);
    put({0x1A}, 1);
    text("chipdisk tests", 20);
    put({0x0104}, 2);                    // version
    put({276}, 4);                       // header size
    put({1, 0, 2, 1, 1, 1, 6, 125}, 2);  // length, restart, channels, patterns, instruments, linear, speed, BPM
    text("", 256);                       // order table: pattern 0
    put({9}, 4);                         // pattern header: 16 rows in 36 packed bytes
    put({0}, 1);
    put({16, 36}, 2);
    for (int cell = 0; cell < 32; cell++) {
        if (cell == 2 * row)
            put({note, 1, 0x50, 0, 0}, 1);
        else
            put({0x80}, 1);
    }
    put({263}, 4);  // instrument, one sample
    text("sine", 22);
    put({0}, 1);
    put({1}, 2);
    put({40}, 4);
    text("", 96);  // on every key, no envelopes
    put({0, 64}, 2);
    text("", 106);
    put({0}, 2);
    text("", 22);
    put({sampleLen, 0, sampleLen}, 4);  // length, loop start, loop length
    put({64, 0, 1, pan, 0, 0}, 1);      // volume, finetune, forward 8-bit loop, panning
    text("sine", 22);
    for (int i = 0, prev = 0; i < sampleLen; i++) {  // 8-bit samples are stored as deltas
        const int v = static_cast<int>(std::lround(127.0 * std::sin(2.0 * M_PI * i * cycles / sampleLen)));
        put({v - std::exchange(prev, v)}, 1);
    }
    return b;
}

inline void writeFile(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

#endif
