/* Preloaded into the chipdisk by bench_window.sh: counts buffer swaps and keeps
 * "<swaps> <first swap, ns since epoch> <last swap, ns since epoch>" in the
 * file named by SWAPCOUNT_FILE, rewritten at most every 100 ms. With SWAPTIMES_FILE
 * set, every swap's time (ns since epoch) is appended there, one a line. */
#define _GNU_SOURCE
#include <GL/glx.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static long long nowNs(void) {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

void glXSwapBuffers(Display* dpy, GLXDrawable drawable) {
    static void (*real)(Display*, GLXDrawable);
    static unsigned long swaps;
    static long long first, written;
    if (!real)
        real = (void (*)(Display*, GLXDrawable))dlsym(RTLD_NEXT, "glXSwapBuffers");
    real(dpy, drawable);
    long long now = nowNs();
    if (swaps++ == 0)
        first = now;
    static FILE* times;
    if (!times && getenv("SWAPTIMES_FILE"))
        times = fopen(getenv("SWAPTIMES_FILE"), "a");
    if (times) {
        fprintf(times, "%lld\n", now);
        fflush(times);  /* the program is killed, not closed */
    }
    const char* path = getenv("SWAPCOUNT_FILE");
    if (path && (swaps == 1 || now - written >= 100000000LL)) {
        FILE* f = fopen(path, "w");
        if (f) {
            fprintf(f, "%lu %lld %lld\n", swaps, first, now);
            fclose(f);
        }
        written = now;
    }
}
