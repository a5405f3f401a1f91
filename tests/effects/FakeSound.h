#ifndef CHIPDISK_TESTS_FAKESOUND_H
#define CHIPDISK_TESTS_FAKESOUND_H

// The 512 levels the fake sound layer hands out; tests write them directly.
float* fakeSpectrum();
void setFakeSpectrum(float level);

#endif
