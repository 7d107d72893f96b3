// The editor's window as a picture in memory: an OSMesa context (software GL, compatibility
// profile) drawing into a buffer the size of the drawing surface. No X server is needed. Each
// shown frame is kept, so that another thread can wait for frames and read the last one.
#pragma once

#include "editor/ManagerPlatformBridge.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct osmesa_context;

namespace TW
{

class OffscreenBridge : public ManagerPlatformBridge
{
public:
    // A window of width x height view points. Main thread.
    OffscreenBridge(int width, int height);
    ~OffscreenBridge() override;

    void RenderTaskHandleResize() override;
    bool InitGL() override;
    void PostInitGL() override {}
    void InitGLOffscreen(int width, int height) override;
    bool MakeCurrent() override;
    void MakeOffscreenCurrent() override;
    void ShutdownGL() override;
    // Finishes the frame and keeps a copy of it (see CopyLastFrame).
    void SwapBuffers() override;
    void SetFocusToWindow() override {}
    void SetFrameSize(int width, int height) override;
    int GetFrameHeight() override;
    void CenterWindow(void*) override {}
    // No dialogs off-screen: the request is written to standard error.
    void RunPropertyTextFieldDialog(int property, std::string prompt, std::string text) override;
    void RunPropertyDialog(int property, int which) override;

    const std::uint8_t* OffscreenPixels() const override;
    int OffscreenWidth() const override { return m_labelWidth; }
    int OffscreenHeight() const override { return m_labelHeight; }

    // Main thread: the window's size in view points.
    int GetFrameWidth();

    // Drawing thread (the thread whose context is current): finishes drawing and copies the
    // surface, rows from the top, 4 bytes a pixel R, G, B, A. False without a context.
    bool ReadPixels(std::vector<std::uint8_t>& rgba, int& width, int& height);

    // Any thread: frames shown so far, waiting for a number of them, and the last one shown
    // (rows from the top, R, G, B, A). CopyLastFrame is false before the first frame.
    unsigned GetFrameCount();
    bool WaitForFrames(unsigned count, int timeoutMilliseconds);
    bool CopyLastFrame(std::vector<std::uint8_t>& rgba, int& width, int& height);
    // Any thread: the last frame as a PNG file (RGBA). False (with the reason in *error) when
    // there is no frame or the file cannot be written.
    bool WriteLastFramePng(const std::string& path, std::string* error = nullptr);

private:
    bool AllocateSurface();

    osmesa_context* m_context = nullptr;
    osmesa_context* m_labelContext = nullptr;
    std::vector<std::uint8_t> m_surface; // RGBA, bottom row first (OSMesa's order)
    int m_surfaceWidth = 0;
    int m_surfaceHeight = 0;
    std::vector<std::uint8_t> m_labelSurface; // BGRA, top row first
    int m_labelWidth = 0;
    int m_labelHeight = 0;
    bool m_labelCurrent = false;

    std::mutex m_frameMutex;
    std::condition_variable m_frameShown;
    int m_frameWidth;  // view points
    int m_frameHeight; // view points
    unsigned m_frameCount = 0;
    std::vector<std::uint8_t> m_lastFrame; // RGBA, top row first
    int m_lastFrameWidth = 0;
    int m_lastFrameHeight = 0;
};

} // namespace TW
