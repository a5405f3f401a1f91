#include <gtest/gtest.h>

#include <wx/defs.h>

#include "HotSpots.h"

namespace {

struct SpotCase {
    int x, y;
    HotSpot spot;
};

// Every corner of every spot, and one pixel outside each edge.
const SpotCase clickCases[] = {
    {108, 237, HotSpot::Prev}, {128, 257, HotSpot::Prev}, {107, 237, HotSpot::None},
    {108, 236, HotSpot::None}, {129, 257, HotSpot::None}, {128, 258, HotSpot::None},
    {221, 237, HotSpot::Play}, {245, 257, HotSpot::Play}, {220, 240, HotSpot::None},
    {246, 240, HotSpot::None}, {230, 236, HotSpot::None}, {230, 258, HotSpot::None},
    {181, 237, HotSpot::Stop}, {206, 257, HotSpot::Stop}, {180, 240, HotSpot::None},
    {207, 240, HotSpot::None}, {190, 236, HotSpot::None}, {190, 258, HotSpot::None},
    {142, 237, HotSpot::Next}, {165, 257, HotSpot::Next}, {141, 240, HotSpot::None},
    {166, 240, HotSpot::None}, {150, 236, HotSpot::None}, {150, 258, HotSpot::None},
    {383, 3, HotSpot::Close}, {391, 11, HotSpot::Close}, {382, 5, HotSpot::None},
    {392, 5, HotSpot::None}, {385, 2, HotSpot::None}, {385, 12, HotSpot::None},
    {199, 210, HotSpot::Iconize}, {208, 218, HotSpot::Iconize}, {198, 214, HotSpot::None},
    {209, 214, HotSpot::None}, {199, 209, HotSpot::None}, {203, 219, HotSpot::None},
    {0, 0, HotSpot::None}, {394, 259, HotSpot::None}, {-1, -1, HotSpot::None},
};

TEST(HotSpots, ClickFindsTheSpotAtEveryBoundary) {
    for (const SpotCase& c : clickCases)
        EXPECT_EQ(static_cast<int>(hotSpotAt(c.x, c.y)), static_cast<int>(c.spot))
            << "at " << c.x << ", " << c.y;
}

struct HoverCase {
    int x, y;
    Highlight expected;
};

const HoverCase hoverCases[] = {
    {108, 237, {0, 105, 241, 20, 13}},  // prev
    {128, 257, {0, 105, 241, 20, 13}},
    {150, 247, {3, 145, 241, 20, 13}},  // next
    {181, 237, {2, 184, 241, 20, 13}},  // stop
    {245, 257, {1, 225, 241, 20, 13}},  // play
    {383, 11, {4, 377, 1, 16, 16}},     // close
    {203, 214, {-1, 0, 0, 0, 0}},       // iconize has no highlight
    {105, 241, {-1, 0, 0, 0, 0}},       // on the prev sprite but off its spot
    {300, 150, {-1, 0, 0, 0, 0}},
};

TEST(HotSpots, HoverChoosesTheHighlight) {
    for (const HoverCase& c : hoverCases) {
        Highlight h = highlightAt(c.x, c.y);
        EXPECT_EQ(h.icon, c.expected.icon) << "at " << c.x << ", " << c.y;
        if (c.expected.icon < 0)
            continue;
        EXPECT_EQ(h.x, c.expected.x) << "at " << c.x << ", " << c.y;
        EXPECT_EQ(h.y, c.expected.y) << "at " << c.x << ", " << c.y;
        EXPECT_EQ(h.width, c.expected.width) << "at " << c.x << ", " << c.y;
        EXPECT_EQ(h.height, c.expected.height) << "at " << c.x << ", " << c.y;
    }
}

TEST(HotSpots, NoHighlightBetweenPrevAndNext) {
    for (int x = 129; x <= 141; ++x)
        for (int y = 237; y <= 257; ++y)
            ASSERT_EQ(highlightAt(x, y).icon, -1) << "at " << x << ", " << y;
}

TEST(Keys, OnlyUpDownAndRightAct) {
    EXPECT_EQ(keyActionFor(WXK_UP), KeyAction::PrevSong);
    EXPECT_EQ(keyActionFor(WXK_DOWN), KeyAction::NextSong);
    EXPECT_EQ(keyActionFor(WXK_RIGHT), KeyAction::NextEffect);
    for (int key : {int(WXK_LEFT), int(WXK_HOME), int(WXK_END), int(WXK_SPACE), int(WXK_RETURN), int('A'),
                    int(WXK_NUMPAD_UP), int(WXK_NUMPAD_RIGHT)})
        EXPECT_EQ(keyActionFor(key), KeyAction::None) << "key " << key;
}

}  // namespace
