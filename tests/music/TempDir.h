#ifndef CHIPDISK_TEST_TEMPDIR_H
#define CHIPDISK_TEST_TEMPDIR_H

#include <cstdlib>
#include <filesystem>
#include <string>

// A fresh directory under TMPDIR, removed with everything in it.
struct TempDir {
    std::string dir = (std::filesystem::temp_directory_path() / "chipdisk-music-XXXXXX").string();
    TempDir() {
        if (!mkdtemp(dir.data())) dir.clear();
    }
    ~TempDir() { std::error_code ec; std::filesystem::remove_all(dir, ec); }
    TempDir(const TempDir&) = delete;
    const std::string& path() const { return dir; }
    std::string operator/(const std::string& name) const { return dir + "/" + name; }
};

#endif
