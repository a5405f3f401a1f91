#ifndef CHIPDISK_CSONGCTRL_H
#define CHIPDISK_CSONGCTRL_H

#include <string>
#include <vector>

class CF3D;
struct FMUSIC_MODULE;

struct song_slot_t {
    std::string name;  // display name
    std::string path;  // path for the sound layer
};

class CSongCtrl {
public:
    explicit CSongCtrl(CF3D* f3d);

    void loadSongs();
    void drawSongMenu();
    void playSong(int slot);
    void playNext();
    void playPrev();
    void play();
    void stop();
    float* getSpectrum();

    // read access for tests and the director
    const std::vector<song_slot_t>& getSongs() const { return songs; }
    int getShownSong() const { return shownSong; }
    int getCurrentSong() const { return currentSong; }
    int getSongCount() const { return songCount; }
    float getMenuAlpha() const { return menuAlpha; }
    bool isFading() const { return fading != 0; }
    int getFadeDir() const { return fadeDir; }
    // x at which the shown name is drawn this frame (long names swing left)
    int songLineX();

private:
    std::vector<song_slot_t> songs;
    int shownSong;
    int currentSong;
    int songCount;
    FMUSIC_MODULE* module;
    int fading;
    int fadeDir;
    float menuAlpha;
    CF3D* f3d;
};

float absf(float x);

#endif
