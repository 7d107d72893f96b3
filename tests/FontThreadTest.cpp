// One font shared by the main thread (layout, measuring) and a drawing thread (preloading at
// another scale, building quads) at the same time, as an editor does: the process-wide font lock
// keeps every measurement whole. Also run under ThreadSanitizer.
#include "editor/Font.h"
#include "platform/offscreen/OffscreenBridge.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace
{

const std::string kFace = std::string(VELLUNA_SOURCE_DIR) + "/resources/fonts/DejaVuSans.ttf";

TEST(FontThread, MeasuringWhileTheDrawingThreadPreloadsAndBuildsQuads)
{
    TW::Font font(kFace, 12);
    ASSERT_TRUE(font.IsLoaded());
    const char* text = "Filter Cutoff 1234 Hz";
    float width1 = 0, height = 0;
    font.StringSize(text, width1, height);
    ASSERT_GT(width1, 50.0f);

    std::atomic<bool> done{false};
    std::thread drawing(
        [&]
        {
            TW::OffscreenBridge bridge(16, 16);
            ASSERT_TRUE(bridge.InitGL());
            std::vector<TW::FontVertex> quads(4 * 32);
            for (int round = 0; round < 20; ++round)
            {
                font.Preload(1 + round % 2);
                float end = 0;
                const int count = font.DrawIntoBuffer(quads.data(), text, 0, 0, &end);
                EXPECT_EQ(count, 4 * 21); // blanks too: empty quads
                EXPECT_NEAR(end, width1, width1 * 0.02f);
            }
            font.Unload();
            bridge.ShutdownGL();
            done = true;
        });
    // Any measurement, at whichever scale the other thread has just set, is the text's width
    // at 12 points: unscaled measures never mix glyphs of two sizes.
    int measured = 0;
    while (!done || measured == 0)
    {
        float width = 0, h = 0;
        font.StringSize(text, width, h);
        EXPECT_NEAR(width, width1, width1 * 0.02f);
        EXPECT_NEAR(font.GetStringWidth(text), width1, width1 * 0.03f);
        ++measured;
    }
    drawing.join();
}

} // namespace
