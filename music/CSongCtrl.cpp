#include "CSongCtrl.h"

#include "CDataRoot.h"
#include "CF3D.h"
#include "SoundLib.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

CSongCtrl::CSongCtrl(CF3D* f3d, std::vector<std::string> files)
    : shownSong(1), currentSong(1), songCount(0), module(nullptr),
      fading(0), fadeDir(0), menuAlpha(1.0f), f3d(f3d), songFiles(std::move(files)) {
    FSOUND_Init(44100, 32, 0);
    loadSongs();
    playSong(2);
    FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 1);
}

void CSongCtrl::loadSongs() {
    songs.clear();
    songs.push_back({" ", ""});
    songs.push_back({"tavro chipdisk", CDataRoot::resolve("data/songs/kirrowane-intro.xm")});
    int count = 0;

    // one folder stands for its entries; files are the songs in the order given
    std::string folder = CDataRoot::resolve("data/songs");
    const bool ownFolder = songFiles.empty();
    if (!ownFolder) {
        struct stat st;
        if (songFiles.size() == 1 && stat(songFiles[0].c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            folder = songFiles[0];
        } else {
            for (const std::string& file : songFiles) songs.push_back({songDisplayName(file), file});
            songCount = static_cast<int>(songs.size());
            return;
        }
    }
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        // a folder the user named has been reported already
        if (ownFolder) puts("Couldn't open the directory.");
    } else {
        count = 2;
        while (struct dirent* entry = readdir(dir)) {
            const char* file = entry->d_name;
            if (!strcmp(file, "..") || !strcmp(file, ".") ||
                !strcmp(file, "kirrowane-chipdiskintro.xm"))
                continue;
            songs.push_back({songDisplayName(file), folder + "/" + file});
            count++;
        }
        closedir(dir);
    }
    songCount = count;
}

void CSongCtrl::replaceSongs(std::vector<std::string> files) {
    FMUSIC_StopSong(module);
    module = nullptr;  // nothing plays if the new list is empty
    songFiles = std::move(files);
    loadSongs();
    currentSong = 1;
    playSong(2);
    shownSong = currentSong;
    fading = 1;
    fadeDir = 1;
    menuAlpha = 0.0f;
}

void CSongCtrl::playSong(int slot) {
    // an empty folder leaves no slot 2: nothing to start
    if (slot < 1 || slot >= static_cast<int>(songs.size())) return;
    FMUSIC_StopSong(module);
    module = FMUSIC_LoadSong(songs[slot].path.c_str());
    FMUSIC_PlaySong(module);
    currentSong = slot;
}

void CSongCtrl::playNext() {
    shownSong = currentSong;
    if (currentSong + 1 < songCount) playSong(currentSong + 1);
    startFade();
}

void CSongCtrl::playPrev() {
    shownSong = currentSong;
    if (currentSong - 1 > 0) playSong(currentSong - 1);
    startFade();
}

void CSongCtrl::startFade() {
    fading = 1;
    menuAlpha = 1.0f;
    fadeDir = -1;
}

bool CSongCtrl::openFile(const std::string& path) {
    FMUSIC_MODULE* loaded = FMUSIC_LoadSong(path.c_str());
    if (!loaded) return false;
    // the table's paths are relative to the working folder, the caller's may not be
    auto same = [&path](const std::string& other) {
        std::error_code ignored;
        return other == path || std::filesystem::equivalent(other, path, ignored);
    };
    int slot = 2;
    while (slot < static_cast<int>(songs.size()) && !same(songs[slot].path)) slot++;
    if (slot == static_cast<int>(songs.size())) {
        songs.push_back({songDisplayName(path), path});
        songCount = static_cast<int>(songs.size());
    }
    shownSong = currentSong;
    FMUSIC_StopSong(module);
    module = loaded;
    FMUSIC_PlaySong(module);
    currentSong = slot;
    startFade();
    return true;
}

void CSongCtrl::play() {
    FMUSIC_PlaySong(module);
}

void CSongCtrl::stop() {
    FMUSIC_StopSong(module);
}

void CSongCtrl::pause() {
    FMUSIC_SetPaused(module, 1);
}

Playback CSongCtrl::playback() const {
    if (!FMUSIC_IsPlaying(module)) return Playback::Stopped;
    return FMUSIC_GetPaused(module) ? Playback::Paused : Playback::Playing;
}

int CSongCtrl::positionMs() const {
    return FMUSIC_GetTime(module);
}

float* CSongCtrl::getSpectrum() {
    return FSOUND_DSP_GetSpectrum();
}

int CSongCtrl::songLineX() {
    const int len = static_cast<int>(songs[shownSong].name.size());
    if (len < 28) return 10;
    // names wider than the line swing left to show their tail, then rest
    const int offset = static_cast<int>(std::sin(f3d->getTicks() / ((len - 27) * 500.0)) *
                                        (10.0 * len - 270.0));
    return offset > 0 ? 10 : 10 + offset;
}

void CSongCtrl::drawSongMenu() {
    if (fading) {
        menuAlpha = static_cast<float>(static_cast<double>(menuAlpha) +
                                       static_cast<double>(f3d->getDt()) * 0.05 * fadeDir);
        if (menuAlpha > 1.0f) {
            fading = 0;
            menuAlpha = 1.0f;
        }
        if (menuAlpha < 0.0f) {
            shownSong = currentSong;
            fadeDir = 1;
            menuAlpha = 0.0f;
        }
    }
    glColor4f(1.0f, 1.0f, 1.0f, menuAlpha);
    f3d->drawStr(songs[shownSong].name.c_str(), songLineX(), f3d->getHeight() - 43);
}

std::string songDisplayName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // the first character stays as it is, so "_intro.xm" keeps its underscore
    for (std::size_t i = 1; i < name.size(); i++) {
        if (name[i] == '.') {
            name.resize(i);
            break;
        }
        if (name[i] == '_') name[i] = ' ';
    }
    return name;
}

float absf(float x) {
    return x < 0 ? -x : x;
}
