#include "OffscreenGL.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <png.h>

#include <cstdio>
#include <memory>

#ifndef EGL_PLATFORM_SURFACELESS_MESA
#define EGL_PLATFORM_SURFACELESS_MESA 0x31DD
#endif

OffscreenGL::OffscreenGL(int width, int height) : w(width), h(height) {
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) { failure = "no eglGetPlatformDisplayEXT"; return; }
    EGLDisplay dpy = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (dpy == EGL_NO_DISPLAY || !eglInitialize(dpy, nullptr, nullptr)) {
        failure = "cannot open the surfaceless EGL display";
        return;
    }
    display = dpy;
    if (!eglBindAPI(EGL_OPENGL_API)) { failure = "no desktop OpenGL in EGL"; return; }
    const EGLint configAttribs[] = {
        EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
        EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8,
        EGL_DEPTH_SIZE, 16,
        EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
        EGL_NONE};
    EGLConfig config;
    EGLint count = 0;
    if (!eglChooseConfig(dpy, configAttribs, &config, 1, &count) || count < 1) {
        failure = "no pbuffer config";
        return;
    }
    const EGLint surfaceAttribs[] = {EGL_WIDTH, w, EGL_HEIGHT, h, EGL_NONE};
    EGLSurface surf = eglCreatePbufferSurface(dpy, config, surfaceAttribs);
    if (surf == EGL_NO_SURFACE) { failure = "cannot create the pbuffer"; return; }
    surface = surf;
    const EGLint contextAttribs[] = {
        EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
        EGL_NONE};
    EGLContext ctx = eglCreateContext(dpy, config, EGL_NO_CONTEXT, contextAttribs);
    if (ctx == EGL_NO_CONTEXT) { failure = "cannot create a compatibility context"; return; }
    context = ctx;
    if (!eglMakeCurrent(dpy, surf, surf, ctx)) { failure = "cannot make the context current"; return; }
    glViewport(0, 0, w, h);
    valid = true;
}

OffscreenGL::~OffscreenGL() {
    if (!display) return;
    EGLDisplay dpy = static_cast<EGLDisplay>(display);
    eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context) eglDestroyContext(dpy, static_cast<EGLContext>(context));
    if (surface) eglDestroySurface(dpy, static_cast<EGLSurface>(surface));
    // No eglTerminate: it unloads the driver, and the leak checker can then no
    // longer name (and so suppress) the driver's own allocations.
}

std::vector<OffscreenGL::RGBA> OffscreenGL::readFrame() const {
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

OffscreenGL::RGBA OffscreenGL::pixel(int x, int y) const {
    RGBA p{0, 0, 0, 0};
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, h - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &p);
    return p;
}

bool OffscreenGL::savePNG(const std::string& path) const {
    std::vector<RGBA> frame = readFrame();
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) {
        std::vector<png_byte> row(static_cast<size_t>(w) * 4);
        for (int x = 0; x < w; ++x) {
            const RGBA& p = frame[static_cast<size_t>(y) * w + x];
            row[x * 4 + 0] = p.r;
            row[x * 4 + 1] = p.g;
            row[x * 4 + 2] = p.b;
            row[x * 4 + 3] = 255;  // keep saved frames opaque so they are easy to look at
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}
