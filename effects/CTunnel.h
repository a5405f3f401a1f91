#ifndef CHIPDISK_CTUNNEL_H
#define CHIPDISK_CTUNNEL_H

class CF3D;

class CTunnel {
public:
    explicit CTunnel(CF3D* f3d);

    void draw();

    float getStrandCount() const { return strandCount; }
    float getPathPhaseX() const { return pathPhaseX; }
    float getPathPhaseY() const { return pathPhaseY; }
    float getZoomPhase() const { return zoomPhase; }

private:
    void drawStrands(float r, float g, float b, float a);
    float pathX(float z) const;
    float pathY(float z) const;

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
};

#endif
