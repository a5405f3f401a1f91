#ifndef CHIPDISK_SOUNDLIB_H
#define CHIPDISK_SOUNDLIB_H

#include <string>

// The sound operations the chipdisk relies on, played through libopenmpt, libgme and
// libsidplayfp and SDL2 audio, with the spectrum computed by KissFFT.

#include <vector>

struct FMUSIC_MODULE;   // opaque song handle, one a subsong of a file, owned by the sound layer for the whole run
struct FSOUND_DSPUNIT;  // opaque handle of the spectrum analysis unit

signed char FSOUND_Init(int mixrate, int maxsoftwarechannels, unsigned int flags);
FMUSIC_MODULE* FMUSIC_LoadSong(const char* name);  // the file's first subsong
// Subsong `subsong` (0 based, as soundLayerSubsongs lists them) of the file; null when
// it cannot be played (a decoder that turns it away says why on standard error).
FMUSIC_MODULE* soundLayerLoadSubsong(const char* name, int subsong);
// The file's subsongs in the order they are listed, its default first; empty for what
// is no song, and for a tune that needs system ROMs that are not there (`needsRoms`
// then says so). Reads and decodes the file unless it is a module. Any thread: it
// touches no state of the layer.
std::vector<int> soundLayerSubsongs(const char* path, bool* needsRoms = nullptr);
// Whether FMUSIC_SetTime can move the song anywhere (a C64 tune can only start again).
bool soundLayerCanSeek(FMUSIC_MODULE* mod);
signed char FMUSIC_PlaySong(FMUSIC_MODULE* mod);  // null: does nothing
signed char FMUSIC_StopSong(FMUSIC_MODULE* mod);  // null: does nothing
// Holds (pause 1) or resumes (pause 0) the song where it is, if it is the one
// playing: silence goes out and the spectrum falls to zero while it is held.
// Playing a held song resumes it too; stopping it clears the hold.
signed char FMUSIC_SetPaused(FMUSIC_MODULE* mod, signed char pause);
signed char FMUSIC_GetPaused(FMUSIC_MODULE* mod);  // 1: playing but held
signed char FMUSIC_IsPlaying(FMUSIC_MODULE* mod);  // 1: playing or held, 0: stopped
// Position in the song in milliseconds, 0 unless playing or held.
int FMUSIC_GetTime(FMUSIC_MODULE* mod);
// Moves the song playing or held to `ms` from its start; what was rendered ahead is
// dropped, so the spectrum follows at once. 0 unless it plays.
signed char FMUSIC_SetTime(FMUSIC_MODULE* mod, int ms);
// The song's own title and artist as the file names them (UTF-8, maybe empty);
// false when the file cannot be read. GUI thread.
bool soundLayerSongTags(FMUSIC_MODULE* mod, std::string& title, std::string& artist);

// Whether songs start again at their end, for ever (the default), or play one pass and
// then make way for the queued song. Holds for the song playing and every later one.
void soundLayerLoopSongs(bool forever);
// The song that starts, in the same buffer, when the playing one ends a pass; null:
// the playing stops there; the song playing itself starts again. Cleared by any play
// or stop. 0 when it cannot load.
signed char soundLayerQueueNext(FMUSIC_MODULE* next);
// The song sounding now (null when none): the queued one once it took over. `ends`,
// when given, counts the ends of a pass reached so far in the run.
FMUSIC_MODULE* soundLayerSounding(unsigned* ends = nullptr);
FSOUND_DSPUNIT* FSOUND_DSP_GetFFTUnit();
signed char FSOUND_DSP_SetActive(FSOUND_DSPUNIT* unit, signed char active);
// 512 levels, 0..1, lowest band first, scaled by the song's own loudness so that quiet
// and loud songs light the effects alike (CHIPDISK_PLAIN=levels: the fixed scale).
// The drawing thread; the gain is the one heard up to the window's end.
float* FSOUND_DSP_GetSpectrum();
// The spectra from now on are for a frame that reaches the screen at this steady-clock
// time (nanoseconds since its epoch): of the audio heard then, as far as it has been
// rendered. From the first call on, the song is rendered 93 ms ahead of the output
// for that. Never called: the newest audio but one buffer. Recordings ignore it.
void soundLayerShowAt(long long steadyClockNs);

// Whether the file is a song the layer can play, from its first bytes only (it may
// still fail to load later). Any thread: it touches no state of the layer.
bool soundLayerIsSong(const char* path);

// How many songs hold a decoded module right now (the one playing, the one just
// loaded); songs that fell silent are decoded again when played.
int soundLayerDecodedSongs();

// For recording: called before FSOUND_Init, no device is opened and nothing plays
// until soundLayerRender asks. The spectrum then analyses the last 1024 samples
// rendered.
void soundLayerUseNoDevice();
// Renders the next frames of what is playing (silence when nothing is) as
// interleaved stereo at 44100 Hz; does nothing unless soundLayerUseNoDevice ran.
void soundLayerRender(float* stereo, int frames);
// One pass of the song in seconds, without repeats; 0 for a null handle.
double soundLayerSongSeconds(FMUSIC_MODULE* mod);

#endif
