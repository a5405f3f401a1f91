#include "CHeadlessGL.h"

#include "CPNGWriter.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#ifndef EGL_PLATFORM_SURFACELESS_MESA
#define EGL_PLATFORM_SURFACELESS_MESA 0x31DD
#endif

CHeadlessGL::CHeadlessGL(int width, int height) : w(width), h(height) {
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) {
        failure = "no eglGetPlatformDisplayEXT";
        return;
    }
    EGLDisplay dpy = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (dpy == EGL_NO_DISPLAY || !eglInitialize(dpy, nullptr, nullptr)) {
        failure = "cannot open the surfaceless EGL display";
        return;
    }
    display = dpy;
    if (!eglBindAPI(EGL_OPENGL_API)) {
        failure = "no desktop OpenGL in EGL";
        return;
    }
    const EGLint configAttribs[] = {EGL_SURFACE_TYPE,
                                    EGL_PBUFFER_BIT,
                                    EGL_RED_SIZE,
                                    8,
                                    EGL_GREEN_SIZE,
                                    8,
                                    EGL_BLUE_SIZE,
                                    8,
                                    EGL_ALPHA_SIZE,
                                    8,
                                    EGL_DEPTH_SIZE,
                                    16,
                                    EGL_RENDERABLE_TYPE,
                                    EGL_OPENGL_BIT,
                                    EGL_NONE};
    EGLConfig config;
    EGLint count = 0;
    if (!eglChooseConfig(dpy, configAttribs, &config, 1, &count) || count < 1) {
        failure = "no pbuffer config";
        return;
    }
    const EGLint surfaceAttribs[] = {EGL_WIDTH, w, EGL_HEIGHT, h, EGL_NONE};
    EGLSurface surf = eglCreatePbufferSurface(dpy, config, surfaceAttribs);
    if (surf == EGL_NO_SURFACE) {
        failure = "cannot create the pbuffer";
        return;
    }
    surface = surf;
    const EGLint contextAttribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                     EGL_NONE};
    EGLContext ctx = eglCreateContext(dpy, config, EGL_NO_CONTEXT, contextAttribs);
    if (ctx == EGL_NO_CONTEXT) {
        failure = "cannot create a compatibility context";
        return;
    }
    context = ctx;
    if (!eglMakeCurrent(dpy, surf, surf, ctx)) {
        failure = "cannot make the context current";
        return;
    }
    glViewport(0, 0, w, h);
    valid = true;
}

CHeadlessGL::~CHeadlessGL() {
    if (!display) return;
    EGLDisplay dpy = static_cast<EGLDisplay>(display);
    eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context) eglDestroyContext(dpy, static_cast<EGLContext>(context));
    if (surface) eglDestroySurface(dpy, static_cast<EGLSurface>(surface));
    // No eglTerminate: it unloads the driver, and the leak checker can then no
    // longer name (and so suppress) the driver's own allocations.
}

std::vector<CHeadlessGL::RGBA> CHeadlessGL::readFrame() const {
    std::vector<RGBA> bottomUp(static_cast<size_t>(w) * h);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    std::vector<RGBA> topDown(bottomUp.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            topDown[static_cast<size_t>(y) * w + x] = bottomUp[static_cast<size_t>(h - 1 - y) * w + x];
    return topDown;
}

CHeadlessGL::RGBA CHeadlessGL::pixel(int x, int y) const {
    RGBA p{0, 0, 0, 0};
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, h - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &p);
    return p;
}

bool CHeadlessGL::savePNG(const std::string& path) const {
    std::vector<RGBA> frame = readFrame();
    for (RGBA& p : frame) p.a = 255;  // saved frames stay opaque so they are easy to look at
    return CPNGWriter::write(path, w, h, &frame[0].r, true);
}
