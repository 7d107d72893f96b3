// The editor's only door to the window system: one bridge per editor window. The X11 window
// (platform/x11) and the off-screen surface (platform/offscreen) implement it; the manager and
// its drawing thread call it and know nothing of either.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace TW
{

class ManagerPlatformBridge
{
public:
    // Reads the default device-pixel scale ($GDK_SCALE, else 1) and whether framebuffer
    // objects may be used ($VELLUNA_EDITOR_NO_FBO set to anything but "" or "0" forbids them).
    ManagerPlatformBridge();
    virtual ~ManagerPlatformBridge();

    // Drawing thread: adapts the GL surface to the size last given to SetSurfaceSize.
    virtual void RenderTaskHandleResize() = 0;
    // Drawing thread: creates the GL context and makes it current here. False when there is no
    // context to draw with (the reason has been written to standard error).
    virtual bool InitGL() = 0;
    // Drawing thread: after the manager's own GL set-up (shows the window's first frame).
    virtual void PostInitGL() = 0;
    // Drawing thread: a second surface of width x height device pixels whose pixels stay in
    // memory (OffscreenPixels), for the label texture when there are no framebuffer objects.
    virtual void InitGLOffscreen(int width, int height) = 0;
    // Drawing thread: draws to the window's surface again. False when it cannot (skip the frame).
    // Leaving the off-screen surface finishes its drawing, so OffscreenPixels is complete after.
    virtual bool MakeCurrent() = 0;
    // Drawing thread: draws into the off-screen surface (same GL objects as the window's).
    virtual void MakeOffscreenCurrent() = 0;
    // Drawing thread: releases the contexts and surfaces made by InitGL and InitGLOffscreen.
    virtual void ShutdownGL() = 0;
    // Drawing thread: shows the frame just drawn.
    virtual void SwapBuffers() = 0;
    // Main thread: asks for the keyboard focus (a text field was clicked).
    virtual void SetFocusToWindow() = 0;
    // Main thread: the window's new size in view points (resize drag).
    virtual void SetFrameSize(int width, int height) = 0;
    // Main thread: the window's height in view points.
    virtual int GetFrameHeight() = 0;
    // Main thread: centres a top-level window on its screen (no effect on a child window).
    virtual void CenterWindow(void* window) = 0;
    // Main thread: asks the user for a text for the given custom property.
    virtual void RunPropertyTextFieldDialog(int property, std::string prompt, std::string text) = 0;
    // RunPropertyDialog's property for the preferences window (the skin's "Prefs" button).
    static constexpr int kPreferencesDialog = -1;
    // Main thread: opens the property's dialog (which = the dialog's kind); kPreferencesDialog
    // opens the preferences window, or brings it forward when it is open.
    virtual void RunPropertyDialog(int property, int which) = 0;
    // Any thread: turns a size in view points into device pixels.
    virtual void UpdateSizesForRetina(int& width, int& height);

    // Drawing thread, after MakeCurrent has left the off-screen surface: its pixels, rows from
    // the top of the picture, 4 bytes a pixel in the order B, G, R, A (GL_BGRA with
    // GL_UNSIGNED_INT_8_8_8_8_REV); null before InitGLOffscreen.
    virtual const std::uint8_t* OffscreenPixels() const = 0;
    virtual int OffscreenWidth() const = 0;
    virtual int OffscreenHeight() const = 0;

    // Any thread: the size of the drawing surface in device pixels. The manager sets it on the
    // main thread whenever its surface size changes; RenderTaskHandleResize applies it.
    void SetSurfaceSize(int width, int height);
    void GetSurfaceSize(int& width, int& height) const;

    // Any thread: device pixels per view point, an integer of at least 1. A plug-in format that
    // knows the host's scale sets it before the editor's InitGL.
    void SetDevicePixelScale(int scale);
    int GetDevicePixelScale() const { return m_devicePixelScale.load(); }

    // Any thread: false forces the label texture through the off-screen surface even when the GL
    // has framebuffer objects.
    void SetUseFramebufferObjects(bool use) { m_useFramebufferObjects.store(use); }
    bool GetUseFramebufferObjects() const { return m_useFramebufferObjects.load(); }

    // $GDK_SCALE when it is a whole number from 1 to 8, else 1. Any thread.
    static int DefaultDevicePixelScale();

private:
    std::atomic<int> m_surfaceWidth{1};
    std::atomic<int> m_surfaceHeight{1};
    std::atomic<int> m_devicePixelScale{1};
    std::atomic<bool> m_useFramebufferObjects{true};
};

} // namespace TW
