#include "CPNGLoader.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // the loader only takes a path: each input goes through one in-memory file
    static const int fd = memfd_create("png-input", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size)) __builtin_trap();
    gl_texture_t* tex = CPNGLoader().ReadPNGFromFile(path.c_str());
    if (!tex) return 0;
    // what is accepted goes straight to glTexImage2D, so these must describe the buffer
    const GLenum formats[] = {0, GL_LUMINANCE, GL_LUMINANCE_ALPHA, GL_RGB, GL_RGBA};
    const int most = int(CPNGLoader::maxDimension);
    if (tex->imageWidth <= 0 || tex->imageHeight <= 0 || tex->imageWidth > most || tex->imageHeight > most ||
        tex->components < 1 || tex->components > 4 || tex->format != formats[tex->components] || !tex->pixels)
        __builtin_trap();
    // read every byte: a short buffer shows up under AddressSanitizer
    volatile unsigned sum = 0;
    for (size_t i = 0; i < size_t(tex->imageWidth) * size_t(tex->imageHeight) * size_t(tex->components); ++i)
        sum = sum + tex->pixels[i];
    std::free(tex->pixels);
    std::free(tex);
    return 0;
}
