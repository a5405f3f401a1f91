#include <gtest/gtest.h>

#include "CEffectCycle.h"
#include "CF3D.h"

namespace {

// The frame clock of the graphics context, set by hand, and the cycle driven
// in the order of a rendered frame.
class EffectCycleTest : public ::testing::Test {
protected:
    void frameAt(int ms) {
        f3d.setTicks(ms);
        f3d.calcDt();
        cycle.beginFrame(f3d.getTicks(), f3d.getDt());
        quadDrawn = cycle.stepFade(f3d.getDt());
    }
    // frames every 10 ms (dt 1.0) up to and including ms
    void runTo(int ms) {
        for (int t = f3d.getTicks() + 10; t <= ms; t += 10)
            frameAt(t);
    }

    // frames every 10 ms until the effect changes; the tick of that frame
    int runUntilChange() {
        const int from = cycle.effect;
        while (cycle.effect == from)
            frameAt(f3d.getTicks() + 10);
        return f3d.getTicks();
    }

    CF3D f3d;
    CEffectCycle cycle;
    bool quadDrawn = false;
};

TEST_F(EffectCycleTest, FadeGoesOutChangesEffectAndComesBack) {
    frameAt(1000);
    EXPECT_FALSE(quadDrawn);
    EXPECT_EQ(cycle.fadeDir, 0);

    cycle.startChange(f3d.getTicks());
    EXPECT_TRUE(cycle.fading);
    EXPECT_EQ(cycle.fadeDir, 1);
    EXPECT_EQ(cycle.lastSwitch, 1000);

    // 0.005 per unit of dt: half way after 1000 ms, still effect 0
    runTo(2000);
    EXPECT_TRUE(quadDrawn);
    EXPECT_NEAR(cycle.fadeAlpha, 0.5f, 1e-4f);
    EXPECT_EQ(cycle.effect, 0);

    // black after 2000 ms; the change comes on the frame that would pass 1.0
    runTo(2990);
    EXPECT_EQ(cycle.effect, 0);
    EXPECT_LT(cycle.fadeAlpha, 1.0f);
    const int changedAt = runUntilChange();
    EXPECT_NEAR(changedAt, 3000, 10);
    EXPECT_EQ(cycle.effect, 1);
    EXPECT_EQ(cycle.fadeDir, -1);
    EXPECT_FLOAT_EQ(cycle.fadeAlpha, 1.0f);

    runTo(changedAt + 1990);
    EXPECT_TRUE(cycle.fading);
    while (cycle.fading)
        frameAt(f3d.getTicks() + 10);
    EXPECT_NEAR(f3d.getTicks(), changedAt + 2000, 10);
    EXPECT_TRUE(quadDrawn);  // the frame that ends the fade draws a clear quad
    EXPECT_FLOAT_EQ(cycle.fadeAlpha, 0.0f);
    EXPECT_EQ(cycle.fadeDir, -1);

    frameAt(f3d.getTicks() + 10);
    EXPECT_FALSE(quadDrawn);
    EXPECT_EQ(cycle.effect, 1);
}

TEST_F(EffectCycleTest, HugeDeltaChangesOnceAndClamps) {
    frameAt(100);
    cycle.startChange(100);
    frameAt(100 + 600000);
    EXPECT_EQ(cycle.effect, 1);
    EXPECT_FLOAT_EQ(cycle.fadeAlpha, 1.0f);
    EXPECT_EQ(cycle.fadeDir, -1);
    EXPECT_TRUE(cycle.fading);

    // the same stall while fading back ends the fade
    cycle.lastSwitch = 1200000;
    frameAt(1200000);
    EXPECT_FALSE(cycle.fading);
    EXPECT_FLOAT_EQ(cycle.fadeAlpha, 0.0f);
    EXPECT_EQ(cycle.effect, 1);
}

TEST_F(EffectCycleTest, RightDuringFadeInLeadsToOneMoreChange) {
    frameAt(0);
    cycle.startChange(0);
    runTo(2500);  // changed to 1 at 2010, fading back since
    ASSERT_EQ(cycle.effect, 1);
    ASSERT_EQ(cycle.fadeDir, -1);
    const float alpha = cycle.fadeAlpha;

    cycle.startChange(f3d.getTicks());
    EXPECT_EQ(cycle.lastSwitch, 2500);
    frameAt(2510);
    EXPECT_EQ(cycle.fadeDir, 1);
    EXPECT_NEAR(cycle.fadeAlpha, alpha + 0.005f, 1e-4f);  // from the current opacity

    runTo(6000);
    EXPECT_EQ(cycle.effect, 2);
    runTo(9000);
    EXPECT_FALSE(cycle.fading);
    EXPECT_EQ(cycle.effect, 2);
}

TEST_F(EffectCycleTest, RightDuringFadeOutOnlyRestartsTheTimer) {
    frameAt(0);
    cycle.startChange(0);
    runTo(1000);
    cycle.startChange(f3d.getTicks());
    EXPECT_EQ(cycle.lastSwitch, 1000);
    runTo(6000);
    EXPECT_EQ(cycle.effect, 1);
    EXPECT_FALSE(cycle.fading);
}

TEST_F(EffectCycleTest, AutomaticChangeStartsOnlyAfter40000ms) {
    frameAt(39990);
    frameAt(40000);
    EXPECT_FALSE(cycle.fading);
    EXPECT_FALSE(quadDrawn);
    frameAt(40001);
    EXPECT_TRUE(cycle.fading);
    EXPECT_EQ(cycle.lastSwitch, 40001);

    // the next one counts from the start of this one
    runTo(80000);
    EXPECT_EQ(cycle.effect, 1);
    EXPECT_FALSE(cycle.fading);
    frameAt(80001);
    EXPECT_FALSE(cycle.fading);
    frameAt(80002);
    EXPECT_TRUE(cycle.fading);
    EXPECT_EQ(cycle.lastSwitch, 80002);
}

TEST_F(EffectCycleTest, EffectsRunZeroToThreeAndWrap) {
    frameAt(0);
    const int expected[] = {1, 2, 3, 0, 1};
    for (int next : expected) {
        cycle.startChange(f3d.getTicks());
        runTo(f3d.getTicks() + 5000);
        EXPECT_EQ(cycle.effect, next);
        EXPECT_FALSE(cycle.fading);
    }
}

TEST_F(EffectCycleTest, ModelRollsOnlyWhileEffect3IsShown) {
    frameAt(0);
    runTo(1000);
    EXPECT_FLOAT_EQ(cycle.modelAngle, 0.0f);

    cycle.effect = 2;
    cycle.startChange(f3d.getTicks());
    const int shownAt = runUntilChange();  // the change is the fade step, after the roll
    ASSERT_EQ(cycle.effect, 3);
    EXPECT_FLOAT_EQ(cycle.modelAngle, 0.0f);

    frameAt(shownAt + 10);
    frameAt(shownAt + 40);
    EXPECT_NEAR(cycle.modelAngle, 1.0f + 3.0f, 1e-4f);

    cycle.startChange(f3d.getTicks());
    const int leftAt = runUntilChange();  // the frame of the change still rolls
    EXPECT_EQ(cycle.effect, 0);
    const float kept = cycle.modelAngle;
    EXPECT_NEAR(kept, 4.0f + (leftAt - shownAt - 40) * 0.1f, 1e-2f);
    runTo(leftAt + 5000);
    EXPECT_FLOAT_EQ(cycle.modelAngle, kept);

    // back on 3 it goes on from where it was
    cycle.effect = 2;
    cycle.startChange(f3d.getTicks());
    const int backAt = runUntilChange();
    frameAt(backAt + 20);
    EXPECT_NEAR(cycle.modelAngle, kept + 2.0f, 1e-3f);
}

}  // namespace
