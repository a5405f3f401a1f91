#ifndef CHIPDISK_TEST_TEMPDIR_H
#define CHIPDISK_TEST_TEMPDIR_H

#include <cstdlib>
#include <filesystem>
#include <string>

// A fresh directory under TMPDIR, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "chipdisk-music-XXXXXX").string();
        char* made = mkdtemp(pattern.data());
        dir = made ? made : "";
    }
    ~TempDir() {
        std::error_code ec;
        if (!dir.empty()) std::filesystem::remove_all(dir, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return dir; }
    std::string operator/(const std::string& name) const { return dir + "/" + name; }

private:
    std::string dir;
};

#endif
