#ifndef CHIPDISK_CMPRISSERVICE_H
#define CHIPDISK_CMPRISSERVICE_H

#include <functional>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GDBusNodeInfo GDBusNodeInfo;

// The desktop's media controls, the media keys and playerctl: the player on the
// session bus (MPRIS 2.2), steering the global song controller. A player that
// has no track list. Everything runs on the GUI thread, where
// GLib's main loop delivers the bus's calls.
//
// Where the usual player and the chipdisk differ, the chipdisk's buttons win:
// Next and Previous start the new song playing even when paused or stopped.
class CMprisService {
public:
    struct Hooks {
        std::function<void()> raise;            // de-iconize and raise the window
        std::function<void()> quit;             // end the program as the close spot does
        std::function<void()> playModeChanged;  // the bus set LoopStatus or Shuffle
    };

    // Claims org.mpris.MediaPlayer2.chipdisk (taken: ...chipdisk.instance<pid>)
    // without waiting for the bus; with no session bus it stays silent and idle.
    explicit CMprisService(Hooks hooks);
    ~CMprisService();
    CMprisService(const CMprisService&) = delete;
    CMprisService& operator=(const CMprisService&) = delete;

    // Tells the bus when the song or the playback status changed since the last
    // call, whoever changed it. Cheap; meant for every frame.
    void poll();

    // For GLib's C callbacks only.
    struct Callbacks;

    // Tells the bus the position jumped (a seek, or a song that started again).
    void seeked();

private:
    Hooks hooks;
    GDBusNodeInfo* node = nullptr;
    GDBusConnection* connection = nullptr;  // set once the bus is reached
    unsigned objectIds[2] = {0, 0};
    unsigned ownerIds[2] = {0, 0};  // the shared name, then the instance name
    int lastStatus = -1;            // what the bus was last told
    int lastSong = -1;
    int lastRepeat = -1;
    int lastPositionMs = 0;
    int lastShuffle = -1;
    int lastSteps = -1;  // CanGoNext, and CanGoPrevious times 2

    friend struct Callbacks;
};

#endif
