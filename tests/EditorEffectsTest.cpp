// The ripples and the vortex: slot limits, timing by the fixed tick, and the eye-candy switch.
#include "editor/Manager.h"
#include "editor/Ripples.h"
#include "editor/Vortex.h"

#include <gtest/gtest.h>

namespace
{

class EditorEffects : public ::testing::Test
{
protected:
    ~EditorEffects() override { TW::Manager::ms_enableEyeCandy = true; }
};

TEST_F(EditorEffects, RipplesFadeInOverASixthAndEndAfterTheirLife)
{
    TW::Manager::ms_enableEyeCandy = true;
    TW::Ripples ripples(nullptr, nullptr);
    for (int i = 0; i < 40; ++i)
        ripples.Trigger(10.0f * i, 5, TW::Vec4{1, 1, 1, 1}, 4.0f, 2.0f, 30.0f);
    EXPECT_EQ(ripples.Count(), TW::Ripples::kMaxRipples); // the 33rd and later are dropped
    for (int frame = 0; frame < 10; ++frame)
        ripples.Update();
    // A third of a second at 30 frames a second: full brightness, radius grown by 10.
    const TW::Ripples::Ripple& r = ripples.Get(0);
    EXPECT_NEAR(TW::Ripples::Fade(r.age, r.lifetime), 1.0f, 1e-5);
    EXPECT_NEAR(r.radius, 14.0f, 1e-4);
    EXPECT_NEAR(TW::Ripples::Fade(r.lifetime / 12, r.lifetime), 0.5f, 1e-6);
    EXPECT_NEAR(TW::Ripples::Fade(r.lifetime, r.lifetime), 0.0f, 1e-6);
    for (int frame = 10; frame < 59; ++frame)
        ripples.Update();
    EXPECT_EQ(ripples.Count(), TW::Ripples::kMaxRipples);
    ripples.Update(); // 2 s, give or take the rounding of the summed ticks
    ripples.Update();
    EXPECT_EQ(ripples.Count(), 0);
}

TEST_F(EditorEffects, EyeCandyOffFreezesButStillFillsSlots)
{
    TW::Manager::ms_enableEyeCandy = false;
    TW::Ripples ripples(nullptr, nullptr);
    TW::Vortex vortex(nullptr, 0, 0, 512, 256);
    ripples.Trigger(1, 1, TW::Vec4{1, 1, 1, 1}, 4.0f, 2.0f, 30.0f);
    for (int i = 0; i < 20; ++i)
        vortex.Launch(100, 100);
    EXPECT_EQ(vortex.CubeCount(), TW::Vortex::kMaxCubes); // the 17th and later are dropped
    for (int frame = 0; frame < 100; ++frame)
    {
        ripples.Update();
        vortex.Update();
    }
    EXPECT_EQ(ripples.Count(), 1);
    EXPECT_EQ(ripples.Get(0).age, 0.0f);
    EXPECT_EQ(vortex.ParticleCount(), 0);
    EXPECT_EQ(vortex.GetCube(0).angle, 0.0f);

    TW::Manager::ms_enableEyeCandy = true;
    for (int frame = 0; frame < 30; ++frame)
        vortex.Update();
    // The cubes turn and are pulled into the depth; particles appear on a little over half of
    // the frames.
    EXPECT_NEAR(vortex.GetCube(0).angle, 100.0f, 1e-3);
    EXPECT_LT(vortex.GetCube(0).position.z, -6.0f);
    EXPECT_GT(vortex.ParticleCount(), 5);
    EXPECT_LT(vortex.ParticleCount(), 30);
    const float axisLength = vortex.GetCube(0).axis.x * vortex.GetCube(0).axis.x +
                             vortex.GetCube(0).axis.y * vortex.GetCube(0).axis.y +
                             vortex.GetCube(0).axis.z * vortex.GetCube(0).axis.z;
    EXPECT_NEAR(axisLength, 1.0f, 1e-5);
    for (int frame = 30; frame < 140; ++frame)
        vortex.Update();
    EXPECT_EQ(vortex.CubeCount(), TW::Vortex::kMaxCubes);
    for (int frame = 140; frame < 152; ++frame)
        vortex.Update();
    EXPECT_EQ(vortex.CubeCount(), 0); // five seconds of life
}

} // namespace
