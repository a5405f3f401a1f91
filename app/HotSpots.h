#ifndef CHIPDISK_HOTSPOTS_H
#define CHIPDISK_HOTSPOTS_H

// The clickable spots of the HUD picture, in canvas client pixels, and the
// keys the canvas answers to.

enum class HotSpot { None, Prev, Play, Stop, Next, Close, Iconize };

// Highlight sprite for a hovered spot. icon indexes the canvas's icon
// textures (prev, play, stop, next, close); -1 means nothing is drawn.
struct Highlight {
    int icon;
    int x, y, width, height;
};

HotSpot hotSpotAt(int x, int y);
Highlight highlightAt(int x, int y);

enum class KeyAction { None, PrevSong, NextSong, NextEffect, PlayPause, CycleRepeat, ToggleShuffle };

KeyAction keyActionFor(int keyCode);

#endif
