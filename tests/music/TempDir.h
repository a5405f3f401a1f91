#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

// A fresh directory under TMPDIR, removed with everything in it.
struct TempDir {
    std::string dir = (std::filesystem::temp_directory_path() / "chipdisk-music-XXXXXX").string();
    TempDir() { dir = mkdtemp(dir.data()) ? dir : ""; }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    const std::string& path() const { return dir; }
    std::string operator/(const std::string& name) const { return dir + "/" + name; }
};
