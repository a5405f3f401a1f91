#include "HotSpots.h"

#include <wx/defs.h>

namespace {

struct SpotRect {
    HotSpot spot;
    int x0, x1, y0, y1;  // inclusive
    Highlight highlight;
};

// Left to right on screen the transport reads prev, next, stop, play; the
// sprites sit a few pixels off their spots because the picture was drawn so.
const SpotRect spots[] = {
    {HotSpot::Prev, 108, 128, 237, 257, {0, 105, 241, 20, 13}},
    {HotSpot::Play, 221, 245, 237, 257, {1, 225, 241, 20, 13}},
    {HotSpot::Stop, 181, 206, 237, 257, {2, 184, 241, 20, 13}},
    {HotSpot::Next, 142, 165, 237, 257, {3, 145, 241, 20, 13}},
    {HotSpot::Close, 383, 391, 3, 11, {4, 377, 1, 16, 16}},
    {HotSpot::Iconize, 199, 208, 210, 218, {-1, 0, 0, 0, 0}},
};

const SpotRect* spotContaining(int x, int y) {
    for (const SpotRect& s : spots)
        if (x >= s.x0 && x <= s.x1 && y >= s.y0 && y <= s.y1) return &s;
    return nullptr;
}

}  // namespace

HotSpot hotSpotAt(int x, int y) {
    const SpotRect* s = spotContaining(x, y);
    return s ? s->spot : HotSpot::None;
}

Highlight highlightAt(int x, int y) {
    const SpotRect* s = spotContaining(x, y);
    return s ? s->highlight : Highlight{-1, 0, 0, 0, 0};
}

KeyAction keyActionFor(int keyCode) {
    switch (keyCode) {
        case WXK_UP:
            return KeyAction::PrevSong;
        case WXK_DOWN:
            return KeyAction::NextSong;
        case WXK_RIGHT:
            return KeyAction::NextEffect;
        case WXK_SPACE:
            return KeyAction::PlayPause;
        case 'R':
            return KeyAction::CycleRepeat;
        case 'S':
            return KeyAction::ToggleShuffle;
        default:
            return KeyAction::None;
    }
}
