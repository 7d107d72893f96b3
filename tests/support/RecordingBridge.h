// A window-system bridge without any GL: it records what the manager asks of the window and
// counts the frames the drawing thread tries to draw (every Draw starts with MakeCurrent, which
// fails here, so nothing touches GL).
#pragma once

#include "editor/ManagerPlatformBridge.h"

#include <atomic>

namespace TarnTest
{

class RecordingBridge : public TW::ManagerPlatformBridge
{
public:
    void RenderTaskHandleResize() override { ++resizes; }
    bool InitGL() override { return false; }
    void PostInitGL() override {}
    void InitGLOffscreen(int, int) override {}
    bool MakeCurrent() override
    {
        ++frames;
        return false;
    }
    void MakeOffscreenCurrent() override {}
    void ShutdownGL() override { ++shutdowns; }
    void SwapBuffers() override {}
    void SetFocusToWindow() override { ++focusRequests; }
    void SetFrameSize(int w, int h) override
    {
        width = w;
        height = h;
    }
    int GetFrameHeight() override { return height; }
    void CenterWindow(void*) override {}
    void RunPropertyTextFieldDialog(int, std::string, std::string) override {}
    void RunPropertyDialog(int, int) override {}
    const std::uint8_t* OffscreenPixels() const override { return nullptr; }
    int OffscreenWidth() const override { return 0; }
    int OffscreenHeight() const override { return 0; }

    std::atomic<int> frames{0};
    std::atomic<int> resizes{0};
    std::atomic<int> shutdowns{0};
    int focusRequests = 0;
    int width = 0;
    int height = 0;
};

} // namespace TarnTest
