#include "CPNGLoader.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The loader only takes a path: each input goes through one in-memory file.
const char* memoryFile(const uint8_t* data, size_t size) {
    static int fd = -1;
    static char path[64];
    if (fd < 0) {
        fd = memfd_create("png-input", 0);
        if (fd < 0) __builtin_trap();
        std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    }
    if (ftruncate(fd, 0) != 0) __builtin_trap();
    size_t done = 0;
    while (done < size) {
        ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) __builtin_trap();
        done += static_cast<size_t>(n);
    }
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CPNGLoader loader;
    gl_texture_t* tex = loader.ReadPNGFromFile(memoryFile(data, size));
    if (!tex) return 0;

    // Whatever is accepted goes straight to glTexImage2D with these fields, so they
    // must describe the buffer exactly.
    if (tex->imageWidth <= 0 || tex->imageHeight <= 0) __builtin_trap();
    if (tex->imageWidth > int(CPNGLoader::maxDimension) ||
        tex->imageHeight > int(CPNGLoader::maxDimension))
        __builtin_trap();
    const GLenum formats[] = {0, GL_LUMINANCE, GL_LUMINANCE_ALPHA, GL_RGB, GL_RGBA};
    if (tex->components < 1 || tex->components > 4 || tex->format != formats[tex->components])
        __builtin_trap();
    if (!tex->pixels) __builtin_trap();
    // read every byte: a short buffer shows up under AddressSanitizer
    const size_t bytes = size_t(tex->imageWidth) * size_t(tex->imageHeight) * size_t(tex->components);
    unsigned sum = 0;
    for (size_t i = 0; i < bytes; ++i) sum += tex->pixels[i];
    volatile unsigned keep = sum;
    (void)keep;
    std::free(tex->pixels);
    std::free(tex);
    return 0;
}
