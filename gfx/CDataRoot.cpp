#include "CDataRoot.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

std::string CDataRoot::choose(const char* env, const std::string& program) {
    if (env && *env) return env;
    const std::size_t slash = program.rfind('/');
    if (slash != std::string::npos) {
        const std::string installed = program.substr(0, slash) + "/../share/chipdisk";
        struct stat st;
        if (stat((installed + "/gfx/star.png").c_str(), &st) == 0) return installed;
    }
    return "data";
}

const std::string& CDataRoot::root() {
    static const std::string chosen = [] {
        char exe[PATH_MAX];
        // realpath of the running program, so a symlink on the PATH still finds its data
        char* real = realpath("/proc/self/exe", exe);
        return choose(std::getenv("CHIPDISK_DATA"), real ? std::string(real) : std::string());
    }();
    return chosen;
}

std::string CDataRoot::resolve(const std::string& path) {
    for (const char* prefix : {"./data/", "data/"}) {
        const std::string p(prefix);
        if (path.compare(0, p.size(), p) == 0) return root() + "/" + path.substr(p.size());
    }
    return path;
}
