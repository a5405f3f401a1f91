#ifndef CHIPDISK_GFX_GLPROGRAM_H
#define CHIPDISK_GFX_GLPROGRAM_H

#include <GL/gl.h>

// A program of the one fragment shader `source` over the fixed vertex stage, or 0 where
// the context has no programs (before OpenGL 2.0) or the shader does not build. Needs a
// current context; the program lives as long as the context.
GLuint buildFragmentProgram(const char* source);

#endif
