#ifndef CHIPDISK_OFFSCREENGL_H
#define CHIPDISK_OFFSCREENGL_H

#include <GL/gl.h>
#include <cstdint>
#include <string>
#include <vector>

// A compatibility-profile OpenGL context on Mesa's software renderer with no
// X server (EGL surfaceless), drawing into a pbuffer of the view's size.
class OffscreenGL {
public:
    OffscreenGL(int width = 396, int height = 260);
    ~OffscreenGL();
    OffscreenGL(const OffscreenGL&) = delete;
    OffscreenGL& operator=(const OffscreenGL&) = delete;

    bool ok() const { return valid; }
    const std::string& error() const { return failure; }
    int width() const { return w; }
    int height() const { return h; }

    struct RGBA { uint8_t r, g, b, a; };
    // Whole frame, top row first, so pixel(x, y) uses the 2D mode's orientation.
    std::vector<RGBA> readFrame() const;
    // One pixel in top-left coordinates (x right, y down).
    RGBA pixel(int x, int y) const;
    // Writes the current frame as a PNG (for looking at it); returns false on failure.
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
