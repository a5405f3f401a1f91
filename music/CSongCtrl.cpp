#include "CSongCtrl.h"

#include "CDataRoot.h"
#include "CF3D.h"
#include "CSongCollector.h"
#include "SoundLib.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <system_error>
#include <utility>

namespace {
// How long the start waits for the walk of the user's songs before the window goes on
// with the songs found so far: files given by name are there at once, a large tree
// fills in while the window runs.
const auto FIRST_SONG_WAIT = std::chrono::milliseconds(200);
// how long a notice stays on the song line once it has faded in
const int NOTICE_MS = 2000;
}  // namespace

struct CSongCtrl::Walk {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<song_slot_t> found;  // not yet taken by the GUI thread
    bool done = false;
    CSongCollector::Summary summary;  // once done
    std::atomic<bool> cancel{false};
};

CSongCtrl::CSongCtrl(CF3D* f3d, std::vector<std::string> files)
    : shownSong(1), currentSong(1), songCount(0), module(nullptr), fading(0), fadeDir(0), menuAlpha(1.0f), f3d(f3d),
      songFiles(std::move(files)) {
    FSOUND_Init(44100, 32, 0);
    loadSongs();
    playSong(2);  // the user's songs have no slot yet: the first one found plays below
    takeFound(false);
    FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 1);
}

CSongCtrl::~CSongCtrl() { stopWalk(); }

void CSongCtrl::startWalk() {
    auto shared = std::make_shared<Walk>();
    walk = shared;
    walker = std::thread([shared, given = songFiles] {
        CSongCollector collector([](const std::string& path) {
            CSongCollector::Song song;
            song.subsongs = soundLayerSubsongs(path.c_str(), &song.needsRoms);
            return song;
        });
        collector.collect(given, [&shared](const std::string& path, const std::vector<int>& subsongs) {
            const std::vector<song_slot_t> slots = subsongSlots(path, subsongs);
            std::lock_guard<std::mutex> hold(shared->lock);
            shared->found.insert(shared->found.end(), slots.begin(), slots.end());
            shared->changed.notify_all();
            return !shared->cancel.load();
        });
        std::lock_guard<std::mutex> hold(shared->lock);
        shared->summary = collector.summary();
        shared->done = true;
        shared->changed.notify_all();
    });
    std::unique_lock<std::mutex> hold(shared->lock);
    shared->changed.wait_for(hold, FIRST_SONG_WAIT, [&shared] { return shared->done; });
}

void CSongCtrl::stopWalk() {
    if (walk) walk->cancel = true;
    if (walker.joinable()) walker.join();
    walk.reset();
    startWhenFound = false;
}

bool CSongCtrl::isCollecting() const { return walk != nullptr; }

void CSongCtrl::update() {
    takeFound(true);
    followSoundLayer();
}

void CSongCtrl::followSoundLayer() {
    unsigned ends = 0;
    FMUSIC_MODULE* sounding = soundLayerSounding(&ends);
    const bool ended = ends != songEnds;
    songEnds = ends;
    if (!module || !ended || sounding == module) return;
    if (sounding && sounding == queuedModule) {
        // the song ended and the next one took over, sample for sample
        played.push_back(currentSong);
        stepTo(queuedSlot);
        shownSong = currentSong;
        currentSong = queuedSlot;
        module = sounding;
        startFade();
        queueNext();
    } else if (!sounding) {
        listEnded = true;  // the last song of the list has ended
    }
}

int CSongCtrl::slotAfter(int slot) const {
    // the intro plays only when chosen: after it comes the list's first song
    if (slot + 1 < songCount) return std::max(slot + 1, 2);
    return repeat == RepeatMode::List && songCount > 2 ? 2 : 0;
}

void CSongCtrl::queueNext() {
    const bool wasQueued = queuedModule != nullptr;
    queuedSlot = 0;
    queuedModule = nullptr;
    const int slot = repeat == RepeatMode::Song || !module ? 0 : following();
    FMUSIC_MODULE* next = nullptr;
    if (slot) {
        // the same file again (a list of one) goes on in the same handle
        const song_slot_t& now = songs[currentSong];
        next = songs[slot].path == now.path && songs[slot].subsong == now.subsong ? module : loadSlot(slot);
    }
    if (next && soundLayerQueueNext(next)) {
        queuedSlot = slot;
        queuedModule = next;
    } else if (wasQueued) {
        soundLayerQueueNext(nullptr);
    }
}

int CSongCtrl::following() {
    if (!shuffled || order.empty()) return slotAfter(currentSong);
    if (orderAt + 1 < order.size()) return order[orderAt + 1];
    if (repeat != RepeatMode::List) return 0;
    if (upcoming.empty()) upcoming = drawRound(currentSong);
    return upcoming.front();
}

std::vector<int> CSongCtrl::drawRound(int notFirst) {
    std::vector<int> round;
    for (int slot = 2; slot < songCount; slot++) round.push_back(slot);
    std::shuffle(round.begin(), round.end(), random);
    // the song that ended a round does not start the next one at once
    if (round.size() > 1 && round.front() == notFirst) {
        std::uniform_int_distribution<std::size_t> other(1, round.size() - 1);
        std::swap(round.front(), round[other(random)]);
    }
    return round;
}

void CSongCtrl::stepTo(int slot) {
    if (!shuffled || order.empty()) return;
    if (orderAt + 1 < order.size() && order[orderAt + 1] == slot) {
        orderAt++;
    } else if (!upcoming.empty() && upcoming.front() == slot) {
        order.swap(upcoming);
        upcoming.clear();
        orderAt = 0;
    }
}

void CSongCtrl::setShuffle(bool on) {
    shuffled = on;
    order.clear();
    upcoming.clear();
    orderAt = 0;
    // the round starts with the song playing; a list still being gathered gets its
    // order once it is whole
    if (on && !walk && songCount > 2) startRound();
    queueNext();
}

void CSongCtrl::startRound() {
    order = drawRound(0);
    orderAt = 0;
    auto at = std::find(order.begin(), order.end(), currentSong);
    if (at != order.end()) std::iter_swap(order.begin(), at);
}

void CSongCtrl::seedShuffle(unsigned seed) { random.seed(seed); }

void CSongCtrl::setRepeat(RepeatMode mode) {
    repeat = mode;
    soundLayerLoopSongs(mode == RepeatMode::Song);
    queueNext();
}

void CSongCtrl::showNotice(const std::string& text) {
    nextNotice = text;
    startFade();
}

const std::string& CSongCtrl::shownText() const { return notice.empty() ? songs[shownSong].name : notice; }

void CSongCtrl::takeFound(bool fadeToFirst) {
    if (!walk) return;
    std::vector<song_slot_t> found;
    bool done;
    {
        std::lock_guard<std::mutex> hold(walk->lock);
        found.swap(walk->found);
        done = walk->done;
    }
    songs.insert(songs.end(), found.begin(), found.end());
    songCount = static_cast<int>(songs.size());
    if (startWhenFound && songCount > 2) {
        shownSong = currentSong;
        playSong(2);
        if (fadeToFirst) startFade();
    }
    if (!done) return;
    walker.join();
    for (const std::string& line : CSongCollector::summaryLines(walk->summary))
        std::fprintf(stderr, "chipdisk: %s\n", line.c_str());
    walk.reset();
    startWhenFound = false;
    // a shuffled list gets its order once it is whole, from the song playing on
    if (shuffled && songCount > 2) {
        startRound();
        queueNext();
    }
}

void CSongCtrl::loadSongs() {
    stopWalk();
    lists++;
    played.clear();
    order.clear();
    upcoming.clear();
    songs.clear();
    songs.push_back({" ", ""});
    songs.push_back({"tavro chipdisk", CDataRoot::resolve("data/songs/kirrowane-intro.xm")});
    if (!songFiles.empty()) {
        songCount = 2;
        startWalk();
        // the songs found so far take their slots in the constructor's or the drop's update()
        startWhenFound = true;
        return;
    }
    int count = 0;
    const std::string folder = CDataRoot::resolve("data/songs");
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        puts("Couldn't open the directory.");
    } else {
        count = 2;
        while (struct dirent* entry = readdir(dir)) {
            const char* file = entry->d_name;
            if (!strcmp(file, "..") || !strcmp(file, ".") || !strcmp(file, "kirrowane-chipdiskintro.xm")) continue;
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
    takeFound(false);
    shownSong = currentSong;
    fading = 1;
    fadeDir = 1;
    menuAlpha = 0.0f;
}

void CSongCtrl::playSong(int slot) {
    // an empty folder leaves no slot 2: nothing to start
    if (slot < 1 || slot >= static_cast<int>(songs.size())) return;
    startWhenFound = false;  // a song chosen: the walk no longer starts one
    listEnded = false;
    FMUSIC_StopSong(module);
    module = loadSlot(slot);
    FMUSIC_PlaySong(module);
    currentSong = slot;
    queueNext();
}

FMUSIC_MODULE* CSongCtrl::loadSlot(int slot) const {
    return soundLayerLoadSubsong(songs[slot].path.c_str(), songs[slot].subsong);
}

void CSongCtrl::playNext() {
    shownSong = currentSong;
    // in repeat list the last song is followed by the first; otherwise the end stays
    const int slot = following();
    if (slot) {
        played.push_back(currentSong);
        stepTo(slot);
        playSong(slot);
    }
    startFade();
}

void CSongCtrl::playPrev() {
    shownSong = currentSong;
    if (shuffled && !played.empty()) {
        // back through the songs that played
        const int slot = played.back();
        played.pop_back();
        playSong(slot);
    } else if (currentSong - 1 > 0) {
        playSong(currentSong - 1);
    }
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
        // every subsong takes a slot; the file's default plays
        std::vector<int> subsongs = soundLayerSubsongs(path.c_str());
        if (subsongs.empty()) subsongs = {0};  // the file changed since it loaded
        for (const song_slot_t& added : subsongSlots(path, subsongs)) songs.push_back(added);
        songCount = static_cast<int>(songs.size());
    }
    shownSong = currentSong;
    listEnded = false;
    FMUSIC_StopSong(module);
    module = loaded;
    FMUSIC_PlaySong(module);
    currentSong = slot;
    queueNext();
    startFade();
    return true;
}

void CSongCtrl::play() {
    if (listEnded && songCount > 2) {
        playSong(2);
        return;
    }
    if (FMUSIC_PlaySong(module)) queueNext();
}

void CSongCtrl::stop() {
    startWhenFound = false;
    listEnded = false;
    FMUSIC_StopSong(module);
}

void CSongCtrl::playPause() {
    if (playback() == Playback::Playing)
        pause();
    else
        play();
}

void CSongCtrl::pause() { FMUSIC_SetPaused(module, 1); }

Playback CSongCtrl::playback() const {
    if (!FMUSIC_IsPlaying(module)) return Playback::Stopped;
    return FMUSIC_GetPaused(module) ? Playback::Paused : Playback::Playing;
}

int CSongCtrl::positionMs() const { return FMUSIC_GetTime(module); }

bool CSongCtrl::seekTo(int ms) { return FMUSIC_SetTime(module, ms) != 0; }

int CSongCtrl::lengthMs() const { return static_cast<int>(soundLayerSongSeconds(module) * 1000.0); }

void CSongCtrl::songTags(std::string& title, std::string& artist) const {
    title.clear();
    artist.clear();
    soundLayerSongTags(module, title, artist);
}

bool CSongCtrl::canSeek() const { return soundLayerCanSeek(module); }

bool CSongCtrl::canGoNext() { return following() != 0; }

bool CSongCtrl::canGoPrevious() { return currentSong > 1 || (shuffled && !played.empty()); }

float* CSongCtrl::getSpectrum() { return FSOUND_DSP_GetSpectrum(); }

int CSongCtrl::songLineX() {
    const int len = static_cast<int>(shownText().size());
    if (len < 28) return 10;
    // names wider than the line swing left to show their tail, then rest
    const int offset = static_cast<int>(std::sin(f3d->getTicks() / ((len - 27) * 500.0)) * (10.0 * len - 270.0));
    return offset > 0 ? 10 : 10 + offset;
}

void CSongCtrl::drawSongMenu() {
    if (fading) {
        menuAlpha =
            static_cast<float>(static_cast<double>(menuAlpha) + static_cast<double>(f3d->getDt()) * 0.05 * fadeDir);
        if (menuAlpha > 1.0f) {
            fading = 0;
            menuAlpha = 1.0f;
        }
        if (menuAlpha < 0.0f) {
            shownSong = currentSong;
            notice = nextNotice;
            nextNotice.clear();
            noticeEndMs = f3d->getTicks() + NOTICE_MS;
            fadeDir = 1;
            menuAlpha = 0.0f;
        }
    }
    // a notice shown long enough fades back to the song's name
    if (!notice.empty() && !fading && f3d->getTicks() >= noticeEndMs) startFade();
    glColor4f(1.0f, 1.0f, 1.0f, menuAlpha);
    f3d->drawStr(shownText().c_str(), songLineX(), f3d->getHeight() - 43);
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

std::vector<song_slot_t> subsongSlots(const std::string& path, const std::vector<int>& subsongs) {
    std::vector<song_slot_t> slots;
    const std::string name = songDisplayName(path);
    for (int subsong : subsongs)
        slots.push_back({subsongs.size() > 1 ? name + " " + std::to_string(subsong + 1) : name, path, subsong});
    return slots;
}

float absf(float x) { return x < 0 ? -x : x; }
