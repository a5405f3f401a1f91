// Plays the sound layer on command, for pulse_output.py: reads one command a line
// from stdin ("play low", "play high", "play", "stop", "spectrum", "quit") and
// answers each with one line on stdout.
#include "SoundLib.h"
#include "XmWriter.h"

#include <SDL.h>

#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " SCRATCH_DIR\n";
        return 2;
    }
    const std::string dir = argv[1];
    writeFile(dir + "/low.xm", makeSineXm(49));    // 261.6 Hz
    writeFile(dir + "/high.xm", makeSineXm(61));   // 523.3 Hz

    if (!FSOUND_Init(44100, 32, 0)) return 1;
    FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 1);
    std::cout << "ready " << SDL_GetCurrentAudioDriver() << std::endl;

    FMUSIC_MODULE* module = nullptr;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "play low" || line == "play high") {
            // the same steps as a song change in the player
            FMUSIC_StopSong(module);
            module = FMUSIC_LoadSong((dir + "/" + line.substr(5) + ".xm").c_str());
            FMUSIC_PlaySong(module);
        } else if (line == "play") {
            FMUSIC_PlaySong(module);
        } else if (line == "stop") {
            FMUSIC_StopSong(module);
        } else if (line == "spectrum") {
            const float* levels = FSOUND_DSP_GetSpectrum();
            int peak = 0;
            for (int i = 1; i < 512; i++)
                if (levels[i] > levels[peak]) peak = i;
            std::cout << "peak " << peak << " " << levels[peak] << std::endl;
            continue;
        } else if (line == "quit") {
            std::cout << "bye" << std::endl;
            return 0;
        } else {
            std::cout << "unknown" << std::endl;
            continue;
        }
        std::cout << (module ? "ok" : "no song") << std::endl;
    }
    return 0;
}
