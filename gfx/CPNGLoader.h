#ifndef CHIPDISK_CPNGLOADER_H
#define CHIPDISK_CPNGLOADER_H

#include <GL/gl.h>

// A decoded picture, bottom row first (texture t = 0 is the picture's bottom edge).
// Allocated with malloc by ReadPNGFromFile; the receiver frees pixels and the record.
struct gl_texture_t {
    GLsizei imageWidth;
    GLsizei imageHeight;
    GLenum format;
    GLint components;
    GLuint textureName;
    GLubyte* pixels;
};

class CPNGLoader {
public:
    CPNGLoader();

    // Returns null for anything that is not a readable, sane PNG.
    gl_texture_t* ReadPNGFromFile(const char* path);
    void GetPNGtextureInfo(int colorType, gl_texture_t* texinfo);

    // Largest width or height accepted; larger headers are rejected before any allocation.
    static const unsigned int maxDimension = 8192;
};

#endif
