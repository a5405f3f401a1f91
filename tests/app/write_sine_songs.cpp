// Writes low.xm (261.6 Hz) and high.xm (523.3 Hz) into a folder for mpris_test.py, each silent
// for 1.44 s before its tone, so that a song started over is told apart by ear from one resumed.
#include "XmWriter.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    // titles padded as trackers pad them, one with a control character in it
    writeFile(std::string(argv[1]) + "/low.xm", makeSineXm(49, 12, 32, 128, "  Low\x07 tone"));
    writeFile(std::string(argv[1]) + "/high.xm", makeSineXm(61, 12, 32, 128, "High tone"));
    return 0;
}
