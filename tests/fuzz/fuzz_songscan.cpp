// The input is a list of names (split on '/' and NUL, any other byte allowed) made
// in a private songs folder, as files or, ending in '~', folders; the song table
// built from it must list each once after the blank slot and the intro, and stepping
// must stay inside it.
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
    const fs::path songs = fs::path(root) / "data/songs";
    fs::remove_all(songs);
    if (!made || !fs::create_directories(songs)) __builtin_trap();
    std::set<std::string> expected;
    std::string name;
    for (size_t i = 0; i <= size && expected.size() < 300; ++i) {
        if (i < size && data[i] != '/' && data[i] != 0) {
            name += char(data[i]);
            continue;
        }
        name.resize(std::min<size_t>(name.size(), 255));
        if (name != "" && name != "." && name != ".." && expected.insert(name).second &&
            !(name.back() == '~' ? fs::create_directory(songs / name) : bool(std::ofstream(songs / name))))
            __builtin_trap();
        name.clear();
    }
    expected.erase("kirrowane-chipdiskintro.xm");

    fakeSound() = FakeSound();
    CF3D f3d;
    const fs::path start = fs::current_path();  // libFuzzer's own paths are relative to it
    fs::current_path(root);
    CSongCtrl ctrl(&f3d);
    fs::current_path(start);
    const auto& table = ctrl.getSongs();
    const int count = ctrl.getSongCount();
    if (count != int(expected.size()) + 2 || table.size() != size_t(count) || table[0].name != " " ||
        table[1].path != "data/songs/kirrowane-intro.xm" || fakeSound().count("load") != (count > 2))
        __builtin_trap();
    for (int i = 2; i < count; ++i)
        if (table[i].path.compare(0, 11, "data/songs/") != 0 || expected.erase(table[i].path.substr(11)) != 1)
            __builtin_trap();
    for (int i = 0; i <= count; ++i) ctrl.playNext();
    if (ctrl.getCurrentSong() != std::max(count - 1, 1)) __builtin_trap();
    for (int i = 0; i <= count; ++i) ctrl.playPrev();
    if (ctrl.getCurrentSong() != 1) __builtin_trap();
    return 0;
}
