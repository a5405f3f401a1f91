#include "CPNGLoader.h"

#include <cstdlib>
#include <string>

bool seedAccepted(const std::string& path) {
    gl_texture_t* tex = CPNGLoader().ReadPNGFromFile(path.c_str());
    if (tex) std::free(tex->pixels);
    std::free(tex);
    return tex != nullptr;
}
