#include "platform/offscreen/OffscreenBridge.h"

#include "editor/PngImage.h"

#include <GL/osmesa.h>
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstring>

// Debian's GLEW looks GL entry points up through GLX, which has no context here. Our definition
// comes first in the program, so GLEW's lookups reach OSMesa while an OSMesa context is current,
// and the real GLX function otherwise.
extern "C"
{
    using ProcAddress = void (*)();

    static ProcAddress LookUpProc(const GLubyte* name, const char* glxName)
    {
        if (OSMesaGetCurrentContext())
            return reinterpret_cast<ProcAddress>(
                OSMesaGetProcAddress(reinterpret_cast<const char*>(name)));
        using GlxLookUp = ProcAddress (*)(const GLubyte*);
        auto next = reinterpret_cast<GlxLookUp>(dlsym(RTLD_NEXT, glxName));
        return next ? next(name) : nullptr;
    }

    __attribute__((visibility("default"))) ProcAddress glXGetProcAddressARB(const GLubyte* name)
    {
        return LookUpProc(name, "glXGetProcAddressARB");
    }

    __attribute__((visibility("default"))) ProcAddress glXGetProcAddress(const GLubyte* name)
    {
        return LookUpProc(name, "glXGetProcAddress");
    }
}

namespace TW
{

OffscreenBridge::OffscreenBridge(int width, int height)
    : m_frameWidth(width < 1 ? 1 : width), m_frameHeight(height < 1 ? 1 : height)
{
    int w = m_frameWidth, h = m_frameHeight;
    UpdateSizesForRetina(w, h);
    SetSurfaceSize(w, h);
}

OffscreenBridge::~OffscreenBridge()
{
    ShutdownGL();
}

bool OffscreenBridge::AllocateSurface()
{
    int width = 1, height = 1;
    GetSurfaceSize(width, height);
    if (width != m_surfaceWidth || height != m_surfaceHeight || m_surface.empty())
    {
        m_surface.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
        m_surfaceWidth = width;
        m_surfaceHeight = height;
    }
    return OSMesaMakeCurrent(m_context, m_surface.data(), GL_UNSIGNED_BYTE, m_surfaceWidth,
                             m_surfaceHeight) == GL_TRUE;
}

bool OffscreenBridge::InitGL()
{
    if (m_context)
        return MakeCurrent();
    m_context = OSMesaCreateContextExt(OSMESA_RGBA, 24, 8, 0, nullptr);
    if (!m_context)
    {
        std::fprintf(stderr, "OSMesa: unable to create an off-screen GL context\n");
        return false;
    }
    if (!AllocateSurface())
    {
        std::fprintf(stderr, "OSMesa: unable to draw into memory\n");
        OSMesaDestroyContext(m_context);
        m_context = nullptr;
        return false;
    }
    return true;
}

void OffscreenBridge::RenderTaskHandleResize()
{
    if (!m_context)
        return;
    if (m_labelCurrent)
        MakeCurrent();
    AllocateSurface();
}

void OffscreenBridge::InitGLOffscreen(int width, int height)
{
    if (!m_context || width < 1 || height < 1)
        return;
    if (m_labelContext)
        OSMesaDestroyContext(m_labelContext);
    // Shares textures with the window's context, so the label font can be drawn here.
    m_labelContext = OSMesaCreateContextExt(OSMESA_BGRA, 24, 8, 0, m_context);
    if (!m_labelContext)
    {
        std::fprintf(stderr, "OSMesa: unable to create the label surface\n");
        return;
    }
    m_labelSurface.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4,
                          0);
    m_labelWidth = width;
    m_labelHeight = height;
}

void OffscreenBridge::MakeOffscreenCurrent()
{
    if (!m_labelContext)
        return;
    if (OSMesaMakeCurrent(m_labelContext, m_labelSurface.data(), GL_UNSIGNED_BYTE, m_labelWidth,
                          m_labelHeight) != GL_TRUE)
        return;
    OSMesaPixelStore(OSMESA_Y_UP, 0); // the top row first, as the label texture wants it
    m_labelCurrent = true;
}

bool OffscreenBridge::MakeCurrent()
{
    if (!m_context)
        return false;
    if (m_labelCurrent)
    {
        glFinish(); // OSMesa copies into our memory when drawing finishes
        m_labelCurrent = false;
    }
    return OSMesaMakeCurrent(m_context, m_surface.data(), GL_UNSIGNED_BYTE, m_surfaceWidth,
                             m_surfaceHeight) == GL_TRUE;
}

const std::uint8_t* OffscreenBridge::OffscreenPixels() const
{
    return m_labelSurface.empty() ? nullptr : m_labelSurface.data();
}

void OffscreenBridge::ShutdownGL()
{
    if (m_labelContext)
        OSMesaDestroyContext(m_labelContext);
    m_labelContext = nullptr;
    m_labelCurrent = false;
    if (m_context)
    {
        if (OSMesaGetCurrentContext() == m_context)
            OSMesaMakeCurrent(nullptr, nullptr, GL_UNSIGNED_BYTE, 0, 0);
        OSMesaDestroyContext(m_context);
    }
    m_context = nullptr;
}

bool OffscreenBridge::ReadPixels(std::vector<std::uint8_t>& rgba, int& width, int& height)
{
    if (!m_context)
        return false;
    glFinish();
    width = m_surfaceWidth;
    height = m_surfaceHeight;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    rgba.resize(rowBytes * static_cast<std::size_t>(height));
    for (int row = 0; row < height; ++row)
        std::memcpy(rgba.data() + static_cast<std::size_t>(row) * rowBytes,
                    m_surface.data() + static_cast<std::size_t>(height - 1 - row) * rowBytes,
                    rowBytes);
    return true;
}

void OffscreenBridge::SwapBuffers()
{
    if (!m_context)
        return;
    glFinish();
    std::lock_guard<std::mutex> lock(m_frameMutex);
    // Sized once per surface size: no allocation per frame.
    int width = 0, height = 0;
    ReadPixels(m_lastFrame, width, height);
    m_lastFrameWidth = width;
    m_lastFrameHeight = height;
    ++m_frameCount;
    m_frameShown.notify_all();
}

unsigned OffscreenBridge::GetFrameCount()
{
    std::lock_guard<std::mutex> lock(m_frameMutex);
    return m_frameCount;
}

bool OffscreenBridge::WaitForFrames(unsigned count, int timeoutMilliseconds)
{
    std::unique_lock<std::mutex> lock(m_frameMutex);
    return m_frameShown.wait_for(lock, std::chrono::milliseconds(timeoutMilliseconds),
                                 [&] { return m_frameCount >= count; });
}

bool OffscreenBridge::CopyLastFrame(std::vector<std::uint8_t>& rgba, int& width, int& height)
{
    std::lock_guard<std::mutex> lock(m_frameMutex);
    if (m_frameCount == 0)
        return false;
    rgba = m_lastFrame;
    width = m_lastFrameWidth;
    height = m_lastFrameHeight;
    return true;
}

bool OffscreenBridge::WriteLastFramePng(const std::string& path, std::string* error)
{
    std::vector<std::uint8_t> rgba;
    int width = 0, height = 0;
    if (!CopyLastFrame(rgba, width, height))
    {
        if (error)
            *error = "no frame has been drawn";
        return false;
    }
    return PngImage::WriteFile(path, rgba.data(), width, height, 4, error);
}

void OffscreenBridge::SetFrameSize(int width, int height)
{
    std::lock_guard<std::mutex> lock(m_frameMutex);
    m_frameWidth = width < 1 ? 1 : width;
    m_frameHeight = height < 1 ? 1 : height;
}

int OffscreenBridge::GetFrameHeight()
{
    std::lock_guard<std::mutex> lock(m_frameMutex);
    return m_frameHeight;
}

int OffscreenBridge::GetFrameWidth()
{
    std::lock_guard<std::mutex> lock(m_frameMutex);
    return m_frameWidth;
}

void OffscreenBridge::RunPropertyTextFieldDialog(int property, std::string prompt, std::string)
{
    std::fprintf(stderr, "no dialog off-screen for property %d (%s)\n", property, prompt.c_str());
}

void OffscreenBridge::RunPropertyDialog(int property, int which)
{
    std::fprintf(stderr, "no dialog off-screen for property %d (%d)\n", property, which);
}

} // namespace TW
