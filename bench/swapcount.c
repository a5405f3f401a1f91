/* Preloaded into the chipdisk by bench_window.sh: counts buffer swaps and keeps
 * "<swaps> <first swap, ns since epoch> <last swap, ns since epoch>" in the
 * file named by SWAPCOUNT_FILE, replaced at most every 100 ms. With SWAPTIMES_FILE
 * set, every swap's time (ns since epoch) is appended there, one a line. With
 * SWAPLIGHT_FILE set (bench_avsync.py), every swap appends
 * "<CLOCK_MONOTONIC ns when the swap returned> <mean R+G+B of the middle of the view>",
 * the light read from the back buffer just before it is swapped. */
#define _GNU_SOURCE
#include <GL/glx.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

/* Replaces the counter's file whole: a reader polling it while the program runs sees
 * the old line or the new one, never an emptied or half-written file. */
int swapcountWrite(const char* path, unsigned long swaps, long long first, long long last) {
    char fresh[4096];
    if (snprintf(fresh, sizeof fresh, "%s.new", path) >= (int)sizeof fresh) return -1;
    FILE* f = fopen(fresh, "w");
    if (!f) return -1;
    const int printed = fprintf(f, "%lu %lld %lld\n", swaps, first, last);
    if (fclose(f) != 0 || printed < 0) return -1;
    return rename(fresh, path);
}

static long long clockNs(clockid_t clock) {
    struct timespec ts;
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

/* The rings' middle, in GL window coordinates of the 396 x 260 view: clear of the
 * HUD's scroller and song line. */
enum { LIGHT_X = 98, LIGHT_Y = 60, LIGHT_W = 200, LIGHT_H = 140 };

static double middleLight(void) {
    static void (*readPixels)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*);
    static unsigned char pixels[LIGHT_W * LIGHT_H * 4];
    if (!readPixels)
        readPixels =
            (void (*)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*))dlsym(RTLD_DEFAULT, "glReadPixels");
    if (!readPixels) return -1.0;
    readPixels(LIGHT_X, LIGHT_Y, LIGHT_W, LIGHT_H, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    long long sum = 0;
    for (int i = 0; i < LIGHT_W * LIGHT_H; i++) sum += pixels[4 * i] + pixels[4 * i + 1] + pixels[4 * i + 2];
    return (double)sum / (LIGHT_W * LIGHT_H);
}

void glXSwapBuffers(Display* dpy, GLXDrawable drawable) {
    static void (*real)(Display*, GLXDrawable);
    static unsigned long swaps;
    static long long first, written;
    static FILE* light;
    if (!real) real = (void (*)(Display*, GLXDrawable))dlsym(RTLD_NEXT, "glXSwapBuffers");
    if (!light && getenv("SWAPLIGHT_FILE")) light = fopen(getenv("SWAPLIGHT_FILE"), "a");
    const double shown = light ? middleLight() : 0.0;
    real(dpy, drawable);
    if (light) {
        fprintf(light, "%lld %.3f\n", clockNs(CLOCK_MONOTONIC), shown);
        fflush(light); /* the program is killed, not closed */
    }
    long long now = clockNs(CLOCK_REALTIME);
    if (swaps++ == 0) first = now;
    static FILE* times;
    if (!times && getenv("SWAPTIMES_FILE")) times = fopen(getenv("SWAPTIMES_FILE"), "a");
    if (times) {
        fprintf(times, "%lld\n", now);
        fflush(times);
    }
    const char* path = getenv("SWAPCOUNT_FILE");
    if (path && (swaps == 1 || now - written >= 100000000LL)) {
        swapcountWrite(path, swaps, first, now);
        written = now;
    }
}
