#ifndef CHIPDISK_CSONGCTRL_H
#define CHIPDISK_CSONGCTRL_H

#include "RepeatMode.h"

#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

class CF3D;
struct FMUSIC_MODULE;

struct song_slot_t {
    std::string name;  // display name
    std::string path;  // path for the sound layer
    int subsong = 0;   // of the file's subsongs, 0 based
};

enum class Playback { Stopped, Playing, Paused };

class CSongCtrl {
public:
    // files: the user's songs instead of the songs folder's entries: folders walked
    // in natural order, playlists in their order, song files as given; only songs
    // take slots. The walk runs on a thread of its own; the first song plays as soon
    // as it is found (the constructor waits a moment for it), the rest fill in at
    // each update().
    explicit CSongCtrl(CF3D* f3d, std::vector<std::string> files = {});
    ~CSongCtrl();
    CSongCtrl(const CSongCtrl&) = delete;
    CSongCtrl& operator=(const CSongCtrl&) = delete;

    // Takes the songs the walk found since the last call, starts the first one if
    // nothing was chosen meanwhile, and says on standard error what the walk left
    // out once it has ended; follows the sound layer when a song ended and the next
    // took over. Once a frame, on the GUI thread.
    void update();
    bool isCollecting() const;  // the walk of the user's songs has not ended yet

    void loadSongs();
    // A new song list (files, or one folder) in place of the current one; its first
    // song plays and its name fades in. The intro stays.
    void replaceSongs(std::vector<std::string> files);
    void drawSongMenu();
    void playSong(int slot);
    void playNext();
    void playPrev();
    // Starts the current song, or resumes it where it was held; after the list has
    // played through and stopped, starts it again from its first song.
    void play();
    void stop();
    // Holds the current song where it is; play() resumes it. Nothing if stopped.
    void pause();
    // Pauses a song that plays, else plays (resumes a held one).
    void playPause();
    // Plays a module file from the start, as a new slot after the others unless
    // the table has it already; the song line fades to it as with playNext.
    // False, and nothing changed, when the file does not load.
    bool openFile(const std::string& path);
    Playback playback() const;
    int positionMs() const;  // in the current song, 0 when stopped
    // Moves the song playing or held to ms from its start; false when nothing plays.
    bool seekTo(int ms);
    // One pass of the current song in milliseconds; 0 when not known.
    int lengthMs() const;
    // The current song's own title and artist, as its file names them (maybe empty).
    void songTags(std::string& title, std::string& artist) const;
    // Counts the song lists of this run: a song's place is only meaningful with it.
    int listNumber() const { return lists; }
    bool canSeek() const;  // the current song can move anywhere (a C64 tune cannot)
    bool canGoNext();      // Next would start another song
    bool canGoPrevious();  // Prev would
    float* getSpectrum();
    // The song line shows the current song's name at once, with no fade.
    void showCurrentSong() { shownSong = currentSong; }

    void setRepeat(RepeatMode mode);
    RepeatMode getRepeat() const { return repeat; }
    // Shuffle: every song of the list once in a random order, then a new order, never
    // starting with the song that ended the one before. The round starts with the
    // song playing; off, the list goes on in its order after the song playing.
    void setShuffle(bool on);
    bool getShuffle() const { return shuffled; }
    void seedShuffle(unsigned seed);  // for orders that can be worked out again
    // The song line shows `text` for two seconds, through its own fade, then the
    // song's name again.
    void showNotice(const std::string& text);
    // What the song line shows: the shown song's name, or a notice.
    const std::string& shownText() const;

    // read access for tests and the director
    const std::vector<song_slot_t>& getSongs() const { return songs; }
    int getShownSong() const { return shownSong; }
    int getCurrentSong() const { return currentSong; }
    int getSongCount() const { return songCount; }
    float getMenuAlpha() const { return menuAlpha; }
    FMUSIC_MODULE* getModule() const { return module; }
    bool isFading() const { return fading != 0; }
    int getFadeDir() const { return fadeDir; }
    // x at which the shown name is drawn this frame (long names swing left)
    int songLineX();

private:
    struct Walk;  // what the walking thread hands over
    void startWalk();
    void stopWalk();
    void takeFound(bool fadeToFirst);
    void followSoundLayer();
    int slotAfter(int slot) const;  // 0: none
    int following();                // after the current song, in the order played; 0: none
    std::vector<int> drawRound(int notFirst);
    void startRound();      // a shuffled order from the song playing on
    void stepTo(int slot);  // the shuffled order moves on to `slot` if it is next
    void queueNext();
    FMUSIC_MODULE* loadSlot(int slot) const;
    void startFade();  // the song line fades out the shown name, then in the current one
    std::vector<song_slot_t> songs;
    int shownSong;
    int currentSong;
    int songCount;
    FMUSIC_MODULE* module;
    int fading;
    int fadeDir;
    float menuAlpha;
    CF3D* f3d;
    std::vector<std::string> songFiles;
    std::shared_ptr<Walk> walk;
    std::thread walker;
    bool startWhenFound = false;  // the first song found plays, unless a button came first
    RepeatMode repeat = RepeatMode::Song;
    int queuedSlot = 0;  // takes over at the end of the current song
    FMUSIC_MODULE* queuedModule = nullptr;
    unsigned songEnds = 0;   // the sound layer's count when last looked at
    bool listEnded = false;  // played through and stopped
    std::string notice;      // on the song line instead of the name
    std::string nextNotice;  // shown once the line has faded out
    int noticeEndMs = 0;
    int lists = 0;
    bool shuffled = false;
    std::vector<int> order;     // this round's slots, shuffled
    std::size_t orderAt = 0;    // the current song's place in it
    std::vector<int> upcoming;  // the next round, once drawn
    std::vector<int> played;    // slots played before the current one, for Prev
    std::mt19937 random{std::random_device{}()};
};

float absf(float x);

// The name a song file shows on the song line: its file name up to the first dot
// after the first character, with underscores turned into spaces.
std::string songDisplayName(const std::string& path);
// The slots of a file's subsongs, in the order given: "tune 2" for subsong 1 of several.
std::vector<song_slot_t> subsongSlots(const std::string& path, const std::vector<int>& subsongs);

#endif
