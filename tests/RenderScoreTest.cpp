#include "app/RenderScore.h"

#include <gtest/gtest.h>

#include <cmath>

// floor(t × rate + 0.5): exact halves round up, anything below rounds down, never negative.
TEST(RenderScoreTest, FrameOfATime)
{
    EXPECT_EQ(RenderScore::FrameAt(0.0, 48000.0), 0u);
    EXPECT_EQ(RenderScore::FrameAt(0.125, 4.0), 1u); // 0.5
    EXPECT_EQ(RenderScore::FrameAt(0.375, 4.0), 2u); // 1.5
    EXPECT_EQ(RenderScore::FrameAt(0.12, 4.0), 0u);  // 0.48
    EXPECT_EQ(RenderScore::FrameAt(0.37, 4.0), 1u);  // 1.48
    EXPECT_EQ(RenderScore::FrameAt(1.0 / 3.0, 48000.0), 16000u);
    EXPECT_EQ(RenderScore::FrameAt(-1.0, 48000.0), 0u);
    // Absurd times from a hostile file stay representable.
    EXPECT_EQ(RenderScore::FrameAt(1e30, 48000.0), RenderScore::kFrameLimit);
    EXPECT_EQ(RenderScore::FrameAt(HUGE_VAL, 48000.0), RenderScore::kFrameLimit);
    EXPECT_EQ(RenderScore::FrameAt(NAN, 48000.0), 0u);
}

// Parameter changes come first within a frame; queued events keep the order they were added.
// A frame never gets more queued events than the queue holds: the rest move to the next
// frames in order, ahead of what was already there, and parameters stay first.
TEST(RenderScoreTest, OrderAndQueueDepth)
{
    RenderScore score;
    for (int i = 0; i < 130; ++i)
        score.AddMidi(10, 0xB0, static_cast<std::uint8_t>(i % 128), 0);
    score.AddMidi(11, 0x90, 200 % 128, 1);
    score.AddParameter(11, 33, 0.25f);
    score.AddMidi(9, 0x80, 1, 0);
    score.AddParameter(10, 34, 0.5f);
    score.AddMidi(40, 0x90, 2, 3);
    score.Finish();

    const auto& e = score.Events();
    ASSERT_EQ(e.size(), 135u);
    EXPECT_EQ(e[0].frame, 9u);
    EXPECT_EQ(e[1].kind, RenderScoreEvent::Kind::Parameter);
    EXPECT_EQ(e[1].frame, 10u);
    std::size_t i = 2;
    for (int k = 0; k < 63; ++k, ++i)
        EXPECT_EQ(e[i].frame, 10u);
    EXPECT_EQ(e[i].kind, RenderScoreEvent::Kind::Parameter); // frame 11's change comes first
    EXPECT_EQ(e[i].frame, 11u);
    ++i;
    for (int k = 0; k < 63; ++k, ++i)
    {
        EXPECT_EQ(e[i].frame, 11u);
        EXPECT_EQ(e[i].data1, (63 + k) % 128);
    }
    // Four controllers are left for frame 12, then the note-on that was due at 11.
    for (int k = 0; k < 4; ++k, ++i)
    {
        EXPECT_EQ(e[i].frame, 12u);
        EXPECT_EQ(e[i].status, 0xB0);
    }
    EXPECT_EQ(e[i].frame, 12u);
    EXPECT_EQ(e[i].status, 0x90);
    EXPECT_EQ(e[i + 1].frame, 40u);
    EXPECT_EQ(score.LastFrame(), 40u);
}
