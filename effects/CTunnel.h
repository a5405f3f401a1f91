#ifndef CHIPDISK_CTUNNEL_H
#define CHIPDISK_CTUNNEL_H

#include "CPointSplat.h"

#include <cmath>
#include <vector>

class CF3D;

class CTunnel {
public:
    explicit CTunnel(CF3D* f3d);

    void draw();

    float getStrandCount() const { return strandCount; }
    float getPathPhaseX() const { return pathPhaseX; }
    float getPathPhaseY() const { return pathPhaseY; }
    float getZoomPhase() const { return zoomPhase; }

    // One pass over all strands in the given colour, under whatever projection is set.
    void drawStrands(float r, float g, float b, float a);

private:
    float pathX(float z) const;
    float pathY(float z) const;
    float cameraX() const;
    float cameraY() const;
    void buildStrandPoints();
    void drawStrandArray(float r, float g, float b, float a);

    float nominalWidth;
    float nominalHeight;
    float strandCount;
    float depthSteps;
    float radius;
    float pathPhaseX;
    float pathPhaseY;
    float zoomPhase;
    float spinAmplitude;
    CF3D* f3d;
    std::vector<float> strandPoints;      // x, y, z of every point of the last array built
    unsigned pointBuffer = 0;             // GL buffer holding them
    long bufferBytes = 0;                 // its size
    bool bufferCurrent = false;           // it holds the array as last built
    CPointSplat splat;                    // the frame's points on the CPU
    bool splatting = false;               // while draw() sends the passes to it
    float arrayKey[3] = {NAN, NAN, NAN};  // strand count and phases it was built for
};

#endif
