#include "CPNGLoader.h"

#include <cstdlib>
#include <string>

bool seedAccepted(const std::string& path) {
    CPNGLoader loader;
    gl_texture_t* tex = loader.ReadPNGFromFile(path.c_str());
    if (!tex) return false;
    std::free(tex->pixels);
    std::free(tex);
    return true;
}
