// Plays the sound layer on command for pulse_output.py, one command a line on stdin
// ("play low", "play high", "stop", "spectrum", "quit"), one answer a line on stdout.
// With "write" after the folder it only writes the two songs there, each silent for
// 1.44 s before its tone, so that a song started over is told apart from one resumed.
#include "SoundLib.h"
#include "XmWriter.h"

#include <SDL.h>

#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: " << argv[0] << " FOLDER [write]\n";
        return 2;
    }
    const std::string dir = argv[1];
    writeFile(dir + "/low.xm", makeSineXm(49, 12));   // 261.6 Hz
    writeFile(dir + "/high.xm", makeSineXm(61, 12));  // 523.3 Hz
    if (argc > 2 || !FSOUND_Init(44100, 32, 0)) return argc > 2 ? 0 : 1;
    FSOUND_DSP_SetActive(FSOUND_DSP_GetFFTUnit(), 1);
    std::cout << "ready " << SDL_GetCurrentAudioDriver() << std::endl;
    FMUSIC_MODULE* module = nullptr;
    for (std::string line; std::getline(std::cin, line) && line != "quit";) {
        if (line.rfind("play ", 0) == 0) {
            // the same steps as a song change in the player
            FMUSIC_StopSong(module);
            module = FMUSIC_LoadSong((dir + "/" + line.substr(5) + ".xm").c_str());
            FMUSIC_PlaySong(module);
        } else if (line == "stop") {
            FMUSIC_StopSong(module);
        } else if (line == "spectrum") {
            const float* levels = FSOUND_DSP_GetSpectrum();
            int peak = 0;
            for (int i = 1; i < 512; i++)
                if (levels[i] > levels[peak]) peak = i;
            std::cout << "peak " << peak << std::endl;
            continue;
        }
        std::cout << (module ? "ok" : "no song") << std::endl;
    }
    std::cout << "bye" << std::endl;
    return 0;
}
