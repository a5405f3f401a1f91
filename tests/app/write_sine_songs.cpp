// Writes two test songs for mpris_test.py into a folder: low.xm (261.6 Hz) and
// high.xm (523.3 Hz), each silent for 1.44 s before its tone, so that a song
// started over is told apart by ear from one resumed.
#include "XmWriter.h"

#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " FOLDER\n";
        return 2;
    }
    const std::string dir = argv[1];
    writeFile(dir + "/low.xm", makeSineXm(49, 12));
    writeFile(dir + "/high.xm", makeSineXm(61, 12));
    return 0;
}
