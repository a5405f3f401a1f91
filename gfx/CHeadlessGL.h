#ifndef CHIPDISK_CHEADLESSGL_H
#define CHIPDISK_CHEADLESSGL_H

#include <GL/gl.h>
#include <cstdint>
#include <string>
#include <vector>

// A compatibility-profile OpenGL context with no X server (EGL surfaceless, Mesa's
// software renderer where there is no GPU), drawing into a pbuffer. Current from
// construction on, for the thread that made it.
class CHeadlessGL {
public:
    explicit CHeadlessGL(int width = 396, int height = 260);
    ~CHeadlessGL();
    CHeadlessGL(const CHeadlessGL&) = delete;
    CHeadlessGL& operator=(const CHeadlessGL&) = delete;

    bool ok() const { return valid; }
    const std::string& error() const { return failure; }
    int width() const { return w; }
    int height() const { return h; }

    struct RGBA {
        uint8_t r, g, b, a;
    };
    // Whole frame, top row first, so pixel(x, y) uses the 2D mode's orientation.
    std::vector<RGBA> readFrame() const;
    // One pixel in top-left coordinates (x right, y down).
    RGBA pixel(int x, int y) const;
    // Writes the current frame as an opaque PNG; false on failure.
    bool savePNG(const std::string& path) const;

private:
    bool valid = false;
    std::string failure;
    int w, h;
    void* display = nullptr;
    void* surface = nullptr;
    void* context = nullptr;
};

#endif
