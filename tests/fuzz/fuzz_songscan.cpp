#include "CF3D.h"
#include "CSongCtrl.h"
#include "../support/FakeSound.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

// The input is a list of file names (split on '/' and NUL, any other byte allowed)
// created in a private songs folder; the song table built from it is checked
// against the folder.

namespace {

std::string songsDir;
std::string rootDir;
int startDir = -1;

void emptySongs();

void removeFolder() {
    emptySongs();
    rmdir(songsDir.c_str());
    rmdir((rootDir + "/data").c_str());
    rmdir(rootDir.c_str());
}

void prepare() {
    if (!songsDir.empty()) return;
    char tmpl[] = "/tmp/chipdisk-songscan-XXXXXX";
    if (!mkdtemp(tmpl)) __builtin_trap();
    const std::string root = tmpl;
    rootDir = root;
    startDir = open(".", O_RDONLY | O_DIRECTORY);
    if (startDir < 0) __builtin_trap();
    if (mkdir((root + "/data").c_str(), 0700) != 0) __builtin_trap();
    songsDir = root + "/data/songs";
    if (mkdir(songsDir.c_str(), 0700) != 0) __builtin_trap();
    std::atexit(removeFolder);
}

void emptySongs() {
    DIR* dir = opendir(songsDir.c_str());
    if (!dir) __builtin_trap();
    const int fd = dirfd(dir);
    while (dirent* e = readdir(dir)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
        if (unlinkat(fd, e->d_name, 0) != 0 && unlinkat(fd, e->d_name, AT_REMOVEDIR) != 0)
            __builtin_trap();
    }
    closedir(dir);
}

// What the song line should show for a file name.
std::string displayName(const std::string& file) {
    std::string name = file.substr(0, 1);
    for (size_t i = 1; i < file.size() && file[i] != '.'; ++i)
        name += file[i] == '_' ? ' ' : file[i];
    return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    prepare();
    emptySongs();

    std::set<std::string> files;
    std::string name;
    for (size_t i = 0; i <= size && files.size() < 300; ++i) {
        if (i < size && data[i] != '/' && data[i] != 0) {
            name += char(data[i]);
            continue;
        }
        if (name.size() > 255) name.resize(255);
        if (!name.empty() && name != "." && name != ".." && !files.count(name)) {
            // a name ending in '~' becomes a folder: the scan takes every kind of entry
            const std::string path = songsDir + "/" + name;
            const bool folder = name.back() == '~';
            const int made = folder ? mkdir(path.c_str(), 0700)
                                    : open(path.c_str(), O_CREAT | O_WRONLY, 0600);
            if (made < 0) __builtin_trap();
            if (!folder) close(made);
            files.insert(name);
        }
        name.clear();
    }
    std::set<std::string> expected = files;
    expected.erase("kirrowane-chipdiskintro.xm");

    fakeSound().clear();
    CF3D f3d;
    // the scan reads ./data/songs/; libFuzzer's own paths are relative to the start folder,
    // so the private folder is current only while the table is built
    if (chdir(rootDir.c_str()) != 0) __builtin_trap();
    CSongCtrl ctrl(&f3d);
    if (fchdir(startDir) != 0) __builtin_trap();

    const auto& songs = ctrl.getSongs();
    if (ctrl.getSongCount() != int(expected.size()) + 2) __builtin_trap();
    if (songs.size() < size_t(ctrl.getSongCount())) __builtin_trap();
    if (songs[0].name != " " || songs[1].name != "tavro chipdisk" ||
        songs[1].path != "data/songs/kirrowane-intro.xm")
        __builtin_trap();
    std::set<std::string> seen;
    for (int i = 2; i < ctrl.getSongCount(); ++i) {
        const std::string& path = songs[i].path;
        if (path.compare(0, 11, "data/songs/") != 0) __builtin_trap();
        const std::string file = path.substr(11);
        if (!expected.count(file) || !seen.insert(file).second) __builtin_trap();
        if (songs[i].name != displayName(file)) __builtin_trap();
    }

    // the first scanned song is the one started, and the spectrum is switched on
    const auto& calls = fakeSound().calls;
    if (expected.empty()) {
        if (fakeSound().count("load") != 0) __builtin_trap();
    } else if (fakeSound().count("load") != 1 ||
               fakeSound().count("load " + songs[2].path + " ") != 1) {
        __builtin_trap();
    }
    if (calls.empty() || calls.front() != "init" || calls.back() != "active 1") __builtin_trap();

    // stepping through the whole table and back stays inside it
    for (int i = 0; i < ctrl.getSongCount() + 1; ++i) ctrl.playNext();
    if (ctrl.getCurrentSong() != (expected.empty() ? 1 : ctrl.getSongCount() - 1)) __builtin_trap();
    for (int i = 0; i < ctrl.getSongCount() + 1; ++i) ctrl.playPrev();
    if (ctrl.getCurrentSong() != 1) __builtin_trap();
    return 0;
}
