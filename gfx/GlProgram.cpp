#define GL_GLEXT_PROTOTYPES  // programs
#include "GlProgram.h"

#include <GL/glext.h>

#include <cstdlib>

GLuint buildFragmentProgram(const char* source) {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (!version || std::atof(version) < 2.0) return 0;
    const GLuint shader = glCreateShader(GL_FRAGMENT_SHADER);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    GLuint program = 0;
    if (ok) {
        program = glCreateProgram();
        glAttachShader(program, shader);
        glLinkProgram(program);
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
    }
    glDeleteShader(shader);  // freed with the program
    if (!ok && program) {
        glDeleteProgram(program);
        program = 0;
    }
    return program;
}
