#define GL_GLEXT_PROTOTYPES  // buffer objects
#include "CTunnel.h"

#include "CF3D.h"
#include "CSongCtrl.h"
#include "PlainPath.h"

#include <cmath>

namespace {
// Depth at which the camera samples the path.
const float kCameraDepth = 0.19894384f;
}  // namespace

CTunnel::CTunnel(CF3D* f3d)
    : nominalWidth(325.0f), nominalHeight(255.0f), strandCount(0.0f), depthSteps(200.0f), radius(15.0f),
      pathPhaseX(0.0f), pathPhaseY(0.0f), zoomPhase(0.0f), spinAmplitude(360.0f), f3d(f3d) {}

float CTunnel::pathX(float z) const { return std::sin(z / 2 + pathPhaseX) + 6 * std::cos(z / 4 + pathPhaseX); }

float CTunnel::pathY(float z) const {
    return 2 * std::sin(z / 8 + pathPhaseY) + 2 * std::cos(z / 2 + pathPhaseY) * std::sin(z / 4 + pathPhaseY);
}

// Not pathX at a fixed depth: the second term differs (2 and zc / 7).
float CTunnel::cameraX() const {
    const float zc = kCameraDepth;
    return std::sin(zc / 2 + pathPhaseX) + 2 * std::cos(zc / 7 + pathPhaseX);
}

float CTunnel::cameraY() const { return pathY(kCameraDepth); }

void CTunnel::drawStrands(float r, float g, float b, float a) {
    if (!plainPath("points")) {
        drawStrandArray(r, g, b, a);
        return;
    }
    for (float u = 0; u < strandCount; u += 1.0f) {
        glBegin(GL_POINTS);
        for (float w = 0; w < depthSteps; w += 1.0f) {
            glColor4f(r, g, b, a);
            const float z = w / 40 * 6.28318f;
            const float a0 = (u / strandCount) * radius * 3.141592654f;
            const float a1 = ((u + 1) / strandCount) * radius * 3.141592654f;
            const float px = pathX(z);
            const float py = pathY(z);
            glVertex3f(radius * std::sin(a0) + px, radius * std::cos(a0) + py, -w);
            glVertex3f(radius * std::sin(a1) + px, radius * std::cos(a1) + py, -w);
        }
        glEnd();
    }
}

// The points depend only on the strand count and the path's phases, so the four passes
// of a frame share one array of points, built once. It is rewritten in place, so no
// frame allocates.
void CTunnel::buildStrandPoints() {
    if (arrayKey[0] == strandCount && arrayKey[1] == pathPhaseX && arrayKey[2] == pathPhaseY) return;
    strandPoints.clear();
    for (float u = 0; u < strandCount; u += 1.0f)
        for (float w = 0; w < depthSteps; w += 1.0f) {
            const float z = w / 40 * 6.28318f;
            const float a0 = (u / strandCount) * radius * 3.141592654f;
            const float a1 = ((u + 1) / strandCount) * radius * 3.141592654f;
            const float px = pathX(z);
            const float py = pathY(z);
            strandPoints.insert(strandPoints.end(), {radius * std::sin(a0) + px, radius * std::cos(a0) + py, -w,
                                                     radius * std::sin(a1) + px, radius * std::cos(a1) + py, -w});
        }
    arrayKey[0] = strandCount;
    arrayKey[1] = pathPhaseX;
    arrayKey[2] = pathPhaseY;
    bufferCurrent = false;
}

// While the tunnel draws a frame on the CPU the passes go there; otherwise the array
// goes to a GL buffer, uploaded once a frame and drawn with one call per pass.
void CTunnel::drawStrandArray(float r, float g, float b, float a) {
    buildStrandPoints();
    const auto count = static_cast<GLsizei>(strandPoints.size() / 3);
    if (splatting) {
        splat.add(strandPoints.data(), count, r, g, b, a);
        return;
    }
    if (!pointBuffer) glGenBuffers(1, &pointBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, pointBuffer);
    if (!bufferCurrent) {
        const GLsizeiptr bytes = static_cast<GLsizeiptr>(strandPoints.size() * sizeof(float));
        if (bytes > bufferBytes) {
            glBufferData(GL_ARRAY_BUFFER, bytes, nullptr, GL_STREAM_DRAW);
            bufferBytes = bytes;
        }
        glBufferSubData(GL_ARRAY_BUFFER, 0, bytes, strandPoints.data());
        bufferCurrent = true;
    }
    if (count > 0) {
        glColor4f(r, g, b, a);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, nullptr);
        glDrawArrays(GL_POINTS, 0, count);
        glDisableClientState(GL_VERTEX_ARRAY);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void CTunnel::draw() {
    const double t = f3d->getTicks();
    const double lastFrame = f3d->getLastFrame();
    const float d = f3d->getDt();

    glMatrixMode(GL_PROJECTION);
    strandCount = static_cast<float>(15 * std::sin(t / 240000) + 10);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // the points are worked out on the CPU into the cleared frame, when the frame buffer allows
    splatting = !plainPath("points") && splat.available();
    if (splatting) splat.begin();

    // The nominal 325 x 255 would stretch the tunnel in the 396 x 260 view; use the view's own.
    const float aspect = static_cast<float>(f3d->getWidth()) / static_cast<float>(f3d->getHeight());
    const double fov = 25 * std::sin(zoomPhase) + 45 + 10 * std::sin(t / 200000);
    glLoadIdentity();
    gluPerspective(fov, aspect, 0.1, 300.0);

    zoomPhase += 0.015f * d;
    pathPhaseX += 0.025f * d;
    pathPhaseY += 0.035f * d;

    const float cx = cameraX();
    const float cy = cameraY();
    glRotatef(static_cast<float>(spinAmplitude * std::sin(t / 4000)), 0, 0, 1);
    glTranslatef(-cx, -cy, 0);

    glDisable(GL_FOG);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glEnable(GL_POINT_SMOOTH);
    glLineWidth(0.3f);  // every later line in the program is drawn at this width

    drawStrands(absf(static_cast<float>(std::sin(t / 5000) + 0.3)), absf(static_cast<float>(std::sin(t / 1000))),
                absf(static_cast<float>(std::sin(t / 2000))), 1.0f);

    // Trails: the spins and shifts compound on the projection on purpose.
    for (int k = 0; k < 3; ++k) {
        const double lk = lastFrame - static_cast<double>(d) * k;
        glRotatef(static_cast<float>(spinAmplitude * std::sin(lk / 4000)), 0, 0, 1);
        glTranslatef(-cameraX(), -cameraY(), 0);
        drawStrands(static_cast<float>(std::sin(lk / 5000) + 0.3), static_cast<float>(std::sin(lk / 1000)),
                    static_cast<float>(std::sin(lk / 2000)), (3 - k) * 0.07f);
    }

    if (splatting) splat.end();
    splatting = false;
    f3d->resizeWindow(f3d->getWidth(), f3d->getHeight());
}
