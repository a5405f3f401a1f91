#include "SoundLib.h"
#include "TempDir.h"
#include "XmWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

TEST(Load, ModuleIsRecognisedByContentNotName) {
    TempDir tmp;
    const auto xm = makeSineXm();
    for (const char* name : {"song.xm", "song.mod", "song.txt", "song"}) {
        writeFile(tmp / name, xm);
        EXPECT_NE(FMUSIC_LoadSong((tmp / name).c_str()), nullptr) << name;
    }
}

TEST(Load, EachLoadGivesItsOwnLastingHandle) {
    TempDir tmp;
    writeFile(tmp / "a.xm", makeSineXm());
    FMUSIC_MODULE* first = FMUSIC_LoadSong((tmp / "a.xm").c_str());
    FMUSIC_MODULE* second = FMUSIC_LoadSong((tmp / "a.xm").c_str());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
}

TEST(Load, WhatIsNotAModuleGivesNull) {
    TempDir tmp;
    std::string junk;
    for (int i = 0; i < 200; i++) junk += "this is plain text, not music. ";
    writeFile(tmp / "junk.xm", std::vector<char>(junk.begin(), junk.end()));
    writeFile(tmp / "empty.xm", {});
    fs::create_directory(tmp / "folder.xm");

    EXPECT_EQ(FMUSIC_LoadSong((tmp / "junk.xm").c_str()), nullptr);
    EXPECT_EQ(FMUSIC_LoadSong((tmp / "empty.xm").c_str()), nullptr);
    EXPECT_EQ(FMUSIC_LoadSong((tmp / "folder.xm").c_str()), nullptr);
    EXPECT_EQ(FMUSIC_LoadSong((tmp / "missing.xm").c_str()), nullptr);
    EXPECT_EQ(FMUSIC_LoadSong(nullptr), nullptr);
}

// Bytes this process has read so far, from the kernel's count.
long long bytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return -1;
}

TEST(Load, HugeAndForeignFilesAreTurnedAwayFromTheirHeader) {
    TempDir tmp;
    std::string text;
    for (int i = 0; i < 200; i++) text += "this is plain text, not music. ";
    writeFile(tmp / "huge.xm", makeSineXm());      // a module header, but 2 GB long
    fs::resize_file(tmp / "huge.xm", 2ull << 30);   // sparse: no disk used
    writeFile(tmp / "film.xm", std::vector<char>(text.begin(), text.end()));
    fs::resize_file(tmp / "film.xm", 10ull << 20);  // 10 MB that is not a module
    for (const char* name : {"huge.xm", "film.xm"}) {
        const long long before = bytesRead();
        EXPECT_EQ(FMUSIC_LoadSong((tmp / name).c_str()), nullptr) << name;
        EXPECT_LT(bytesRead() - before, 64 * 1024) << name << " was read beyond its header";
    }
}

TEST(Load, NullHandlesAreIgnored) {
    EXPECT_EQ(FMUSIC_PlaySong(nullptr), 0);
    EXPECT_EQ(FMUSIC_StopSong(nullptr), 0);
}

TEST(Load, ShippedSongsLoad) {
    const fs::path dir = fs::path(CHIPDISK_SOURCE_DIR) / "data" / "songs";
    int seen = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        if (!entry.is_regular_file()) continue;
        const std::string ext = entry.path().extension().string();
        if (ext != ".xm" && ext != ".mod" && ext != ".it" && ext != ".s3m") continue;
        EXPECT_NE(FMUSIC_LoadSong(entry.path().c_str()), nullptr) << entry.path();
        seen++;
    }
    if (seen == 0) GTEST_SKIP() << "no songs in " << dir;
}
