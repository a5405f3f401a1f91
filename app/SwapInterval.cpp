#include "SwapInterval.h"

#include <EGL/egl.h>
#include <GL/glx.h>

#include <string>

void requestSwapInterval() {
    if (eglGetCurrentContext() != EGL_NO_CONTEXT) {
        eglSwapInterval(eglGetCurrentDisplay(), 1);
        return;
    }
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (!display || !drawable) return;
    const char* ext = glXQueryExtensionsString(display, DefaultScreen(display));
    const std::string extensions = ext ? ext : "";
    auto offered = [&](const char* name) {
        return (" " + extensions + " ").find(std::string(" ") + name + " ") != std::string::npos;
    };
    auto proc = [](const char* name) { return glXGetProcAddress(reinterpret_cast<const GLubyte*>(name)); };
    if (offered("GLX_EXT_swap_control")) {
        if (auto set = reinterpret_cast<void (*)(Display*, GLXDrawable, int)>(proc("glXSwapIntervalEXT")))
            set(display, drawable, 1);
    } else if (offered("GLX_MESA_swap_control")) {
        if (auto set = reinterpret_cast<int (*)(unsigned)>(proc("glXSwapIntervalMESA"))) set(1);
    } else if (offered("GLX_SGI_swap_control")) {
        if (auto set = reinterpret_cast<int (*)(int)>(proc("glXSwapIntervalSGI"))) set(1);
    }
}
