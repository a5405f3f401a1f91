#ifndef CHIPDISK_CPNGWRITER_H
#define CHIPDISK_CPNGWRITER_H

#include <cstdint>
#include <string>

// Writes 8-bit pictures as PNG files.
class CPNGWriter {
public:
    // pixels: width x height, top row first, 4 bytes (RGBA) or 3 (RGB) a pixel.
    // Fast compression: frames of a recording are written by the thousand.
    // Returns false when the file cannot be written; no partial file is kept.
    static bool write(const std::string& path, int width, int height, const uint8_t* pixels, bool alpha);
};

#endif
