// The drawing thread's loop: when it draws, how it is started twice and how it ends. The bridge
// has no GL, so every frame stops at MakeCurrent, which counts it.
#include "editor/ALmanager.h"
#include "support/EditorTestLayout.h"
#include "support/RecordingBridge.h"
#include "support/TestInstance.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace
{

using namespace std::chrono_literals;

// Waits until the bridge has counted at least n frames (or a generous limit passes).
bool WaitForFrames(const TarnTest::RecordingBridge& bridge, int n)
{
    for (int i = 0; i < 2000 && bridge.frames.load() < n; ++i)
        std::this_thread::sleep_for(1ms);
    return bridge.frames.load() >= n;
}

class EditorDrawingThread : public ::testing::Test
{
protected:
    EditorDrawingThread() : synth(48000.0, false), manager(synth.get(), &bridge)
    {
        manager.SetWindowSize(512, 256);
        TarnTest::EditorLayout layout(manager);
        layout.Knob(33, 100, 100, 40);
        manager.CreateControl(0, 0);
    }
    ~EditorDrawingThread() override { TW::Manager::ms_enableConstantRedraw = true; }

    TarnTest::TestInstance synth;
    TarnTest::RecordingBridge bridge;
    ALmanager manager;
};

TEST_F(EditorDrawingThread, OnDemandDrawsOnlyWhenNudged)
{
    TW::Manager::ms_enableConstantRedraw = false;
    manager.CreateRenderTask();
    ASSERT_TRUE(WaitForFrames(bridge, 1)); // the first frame after set-up
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(bridge.frames.load(), 1);

    manager.NudgeGUI();
    ASSERT_TRUE(WaitForFrames(bridge, 2));
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(bridge.frames.load(), 2);

    // Hovering a control asks for one frame so that its value shows at once.
    manager.HandleMouseMove(TW::Point{120, 120});
    ASSERT_TRUE(WaitForFrames(bridge, 3));
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(bridge.frames.load(), 3);

    // A resize request is applied on the drawing thread.
    manager.HandleMouseNoLoopDown(TW::Point{510, 2}, 0, 1, false);
    manager.HandleMouseNoLoopDragged(TW::Point{600, 2}, 0);
    manager.HandleMouseNoLoopUp(TW::Point{600, 2}, 0);
    ASSERT_TRUE(WaitForFrames(bridge, 4));
    EXPECT_GE(bridge.resizes.load(), 1);
    manager.DestroyRenderTask();
    EXPECT_EQ(bridge.shutdowns.load(), 1);
}

TEST_F(EditorDrawingThread, ConstantRedrawTicksAbout30TimesASecond)
{
    TW::Manager::ms_enableConstantRedraw = true;
    manager.CreateRenderTask();
    EXPECT_TRUE(WaitForFrames(bridge, 5));
    manager.DestroyRenderTask();
    const int frames = bridge.frames.load();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(bridge.frames.load(), frames); // nothing draws after the end
}

TEST_F(EditorDrawingThread, PauseStopsConstantRedrawUntilTheNextEvent)
{
    TW::Manager::ms_enableConstantRedraw = true;
    manager.CreateRenderTask();
    ASSERT_TRUE(WaitForFrames(bridge, 3));
    manager.PauseRenderTask();
    std::this_thread::sleep_for(100ms); // the frame under way when the pause came may finish
    const int paused = bridge.frames.load();
    std::this_thread::sleep_for(200ms); // six ticks' time
    EXPECT_EQ(bridge.frames.load(), paused);

    manager.NudgeGUI();
    EXPECT_TRUE(WaitForFrames(bridge, paused + 3)); // ticking again
    // A quit during the pause ends the thread.
    manager.PauseRenderTask();
    manager.DestroyRenderTask();
    EXPECT_EQ(bridge.shutdowns.load(), 1);
}

TEST_F(EditorDrawingThread, SecondCreateIsRefusedAndShutdownIsQuiet)
{
    TW::Manager::ms_enableConstantRedraw = false;
    manager.CreateRenderTask();
    ASSERT_TRUE(WaitForFrames(bridge, 1));
    testing::internal::CaptureStderr();
    manager.CreateRenderTask();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "double call to CreateRenderTask()\n");
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(bridge.frames.load(), 1); // still one thread, still sleeping
    EXPECT_TRUE(manager.HasRenderTask());

    testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    manager.DestroyRenderTask();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), ""); // no time-out message
    EXPECT_LT(took, 10s);
    EXPECT_FALSE(manager.HasRenderTask());
    EXPECT_EQ(bridge.shutdowns.load(), 1);

    // The editor can be started again after it ended.
    manager.CreateRenderTask();
    ASSERT_TRUE(WaitForFrames(bridge, 2));
    manager.DestroyRenderTask();
    EXPECT_EQ(bridge.shutdowns.load(), 2);
}

} // namespace
