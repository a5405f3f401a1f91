// Names split on '/' and NUL become files (or, ending in '~', folders) in a private songs
// folder; the table must list each once after the intro, and stepping must stay inside it.
#include "CF3D.h"
#include "CSongCtrl.h"
#include "../support/FakeSound.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static char root[] = "/tmp/chipdisk-songscan-XXXXXX";
    static const bool made = mkdtemp(root) && !std::atexit([] { fs::remove_all(root); });
    fs::remove_all(fs::path(root) / "data");
    if (!made || !fs::create_directories(fs::path(root) / "data/songs")) __builtin_trap();
    std::set<std::string> names;
    std::string name;
    for (size_t i = 0; i <= size && names.size() < 300; ++i) {
        if (i < size && data[i] != '/' && data[i] != 0) {
            name += char(data[i]);
            continue;
        }
        name.resize(std::min<size_t>(name.size(), 255));
        const fs::path path = fs::path(root) / "data/songs" / name;
        if (name != "" && name != "." && name != ".." && names.insert(name).second &&
            !(name.back() == '~' ? fs::create_directory(path) : bool(std::ofstream(path))))
            __builtin_trap();
        name.clear();
    }
    names.erase("kirrowane-chipdiskintro.xm");
    fakeSound() = FakeSound();
    CF3D f3d;
    const fs::path start = fs::current_path();  // libFuzzer's own paths are relative to it
    fs::current_path(root);
    CSongCtrl ctrl(&f3d);
    fs::current_path(start);
    const int count = ctrl.getSongCount();
    if (count != int(names.size()) + 2 || ctrl.getSongs().size() != size_t(count)) __builtin_trap();
    for (int i = 2; i < count; ++i)
        if (names.erase(ctrl.getSongs()[i].path.substr(11)) != 1) __builtin_trap();
    for (int i = 0; i <= count; ++i) ctrl.playNext();
    if (ctrl.getCurrentSong() != std::max(count - 1, 1)) __builtin_trap();
    for (int i = 0; i <= count; ++i) ctrl.playPrev();
    if (ctrl.getCurrentSong() != 1) __builtin_trap();
    return 0;
}
