#ifndef CHIPDISK_APP_SWAPINTERVAL_H
#define CHIPDISK_APP_SWAPINTERVAL_H

// Asks the driver to swap at most once per refresh, so a GPU desktop draws at its refresh
// rate and no faster; the frame loop itself keeps no timer. Call with the canvas's
// context current. The canvas is EGL on Wayland and GLX on X11; where neither offers a
// swap interval nothing changes.
void requestSwapInterval();

#endif
