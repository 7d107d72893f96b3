#include "platform/x11/X11Bridge.h"

#include "platform/x11/X11PreferencesWindow.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlibint.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace TW
{

namespace
{

XVisualInfo* VisualOf(void* visual)
{
    return static_cast<XVisualInfo*>(visual);
}

// The bridges by connection, for the connections' error handler.
std::mutex& RegistryMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::vector<std::pair<Display*, std::atomic<unsigned>*>>& Registry()
{
    static std::vector<std::pair<Display*, std::atomic<unsigned>*>> registry;
    return registry;
}

void Unregister(Display* display)
{
    std::lock_guard<std::mutex> lock(RegistryMutex());
    auto& registry = Registry();
    for (auto it = registry.begin(); it != registry.end(); ++it)
        if (it->first == display)
        {
            registry.erase(it);
            return;
        }
}

// Every X error on our connection comes here instead of to Xlib's process-wide handler (which
// would end the host): a window destroyed under us costs a count, nothing more. False drops
// the error.
Bool OnError(Display* display, XErrorEvent*, xError*)
{
    std::lock_guard<std::mutex> lock(RegistryMutex());
    for (auto& entry : Registry())
        if (entry.first == display)
            entry.second->fetch_add(1);
    return False;
}

} // namespace

X11Bridge::X11Bridge(unsigned long parent, int width, int height, const char* title,
                     const char* displayName)
{
    // Thread-safe Xlib (our connection is used from the main and the drawing thread); from
    // libX11 1.8 on this is the default and the call changes nothing.
    static std::once_flag threadsOnce;
    std::call_once(threadsOnce, [] { XInitThreads(); });

    m_display = XOpenDisplay(displayName);
    if (!m_display)
    {
        const char* name = displayName ? displayName : std::getenv("DISPLAY");
        std::fprintf(stderr, "Velluna editor (X11): unable to open the display \"%s\"\n",
                     name ? name : "");
        return;
    }
    {
        std::lock_guard<std::mutex> lock(RegistryMutex());
        Registry().emplace_back(m_display, &m_errorCount);
    }
    // The connection's own conversion of every error code, which may drop the error before it
    // reaches the process-wide handler.
    for (int code = 1; code < 256; ++code)
        XESetWireToError(m_display, code, OnError);

    auto fail = [this](const char* text, unsigned long id = 0)
    {
        std::fprintf(stderr, text, id);
        std::fputc('\n', stderr);
        if (m_window)
            XDestroyWindow(m_display, m_window);
        m_window = 0;
        if (m_colormap)
            XFreeColormap(m_display, m_colormap);
        m_colormap = 0;
        if (m_visual)
            XFree(m_visual);
        m_visual = nullptr;
        XCloseDisplay(m_display);
        Unregister(m_display);
        m_display = nullptr;
    };

    int errorBase = 0, eventBase = 0;
    if (!glXQueryExtension(m_display, &errorBase, &eventBase))
    {
        fail("Velluna editor (X11): the display has no GLX");
        return;
    }
    const int screen = DefaultScreen(m_display);
    int withAlpha[] = {GLX_RGBA,
                       GLX_DOUBLEBUFFER,
                       GLX_RED_SIZE,
                       8,
                       GLX_GREEN_SIZE,
                       8,
                       GLX_BLUE_SIZE,
                       8,
                       GLX_ALPHA_SIZE,
                       8,
                       GLX_DEPTH_SIZE,
                       24,
                       GLX_STENCIL_SIZE,
                       8,
                       None};
    int withoutAlpha[] = {
        GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8,   GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE,
        8,        GLX_DEPTH_SIZE,   24,           None};
    m_visual = glXChooseVisual(m_display, screen, withAlpha);
    if (!m_visual)
        m_visual = glXChooseVisual(m_display, screen, withoutAlpha);
    if (!m_visual)
    {
        fail("Velluna editor (X11): no double-buffered RGBA visual with a depth buffer");
        return;
    }

    const Window root = RootWindow(m_display, screen);
    m_topLevel = parent == 0;
    if (!m_topLevel)
    {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(m_display, parent, &attributes))
        {
            fail("Velluna editor (X11): no window 0x%lx to open the editor in", parent);
            return;
        }
    }
    const int scale = GetDevicePixelScale();
    const int w = (width < 1 ? 1 : width) * scale;
    const int h = (height < 1 ? 1 : height) * scale;
    m_colormap = XCreateColormap(m_display, root, VisualOf(m_visual)->visual, AllocNone);
    XSetWindowAttributes attributes{};
    attributes.colormap = m_colormap;
    attributes.border_pixel = 0;
    attributes.background_pixmap = None;
    attributes.event_mask = ExposureMask | StructureNotifyMask | ButtonPressMask |
                            ButtonReleaseMask | PointerMotionMask | KeyPressMask | FocusChangeMask;
    const unsigned errorsBefore = m_errorCount.load();
    m_window = XCreateWindow(m_display, m_topLevel ? root : parent, 0, 0, static_cast<unsigned>(w),
                             static_cast<unsigned>(h), 0, VisualOf(m_visual)->depth, InputOutput,
                             VisualOf(m_visual)->visual,
                             CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask, &attributes);
    if (m_topLevel)
    {
        XStoreName(m_display, m_window, title ? title : "");
        m_deleteWindow = XInternAtom(m_display, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(m_display, m_window, &m_deleteWindow, 1);
    }
    XSync(m_display, False);
    if (m_errorCount.load() != errorsBefore)
    {
        fail("Velluna editor (X11): unable to make the editor window in 0x%lx", parent);
        return;
    }
    m_widthPixels.store(w);
    m_heightPixels.store(h);
    m_translator.SetWindowHeight(h);
    m_translator.SetScale(scale);
    SetSurfaceSize(w, h);
    m_windowAlive.store(true);
}

X11Bridge::~X11Bridge()
{
    // The editor's manager has gone before its bridge.
    if (m_preferences)
        m_preferences->ForgetEditor();
    m_preferences.reset();
    if (!m_display)
        return;
    ShutdownGL();
    if (m_window && m_windowAlive.load())
        XDestroyWindow(m_display, m_window);
    if (m_colormap)
        XFreeColormap(m_display, m_colormap);
    if (m_visual)
        XFree(m_visual);
    XCloseDisplay(m_display); // errors of its final round trip still reach our handler
    Unregister(m_display);
}

int X11Bridge::GetConnectionNumber() const
{
    return m_display ? ConnectionNumber(m_display) : -1;
}

void X11Bridge::Show()
{
    if (!IsOpen() || !m_windowAlive.load())
        return;
    XMapWindow(m_display, m_window);
    XFlush(m_display);
}

void X11Bridge::Hide()
{
    if (!IsOpen() || !m_windowAlive.load())
        return;
    XUnmapWindow(m_display, m_window);
    XFlush(m_display);
}

bool X11Bridge::Reparent(unsigned long parent)
{
    if (!IsOpen() || !m_windowAlive.load())
        return false;
    XWindowAttributes attributes;
    const unsigned errorsBefore = m_errorCount.load();
    if (parent == 0 || !XGetWindowAttributes(m_display, parent, &attributes) ||
        m_errorCount.load() != errorsBefore)
    {
        std::fprintf(stderr, "Velluna editor (X11): no window 0x%lx to open the editor in\n",
                     parent);
        return false;
    }
    XReparentWindow(m_display, m_window, parent, 0, 0);
    XSync(m_display, False);
    if (m_errorCount.load() != errorsBefore)
    {
        std::fprintf(stderr, "Velluna editor (X11): unable to move the editor window into 0x%lx\n",
                     parent);
        return false;
    }
    m_topLevel = false;
    return true;
}

void X11Bridge::HandleStructureEvent(const _XEvent& event)
{
    switch (event.type)
    {
    case ConfigureNotify:
        if (event.xconfigure.window == m_window)
        {
            m_widthPixels.store(event.xconfigure.width);
            m_heightPixels.store(event.xconfigure.height);
            m_translator.SetWindowHeight(event.xconfigure.height);
        }
        break;
    case DestroyNotify:
        if (event.xdestroywindow.window == m_window && m_windowAlive.exchange(false) && m_sink)
            m_sink->WindowDestroyed();
        break;
    case Expose:
        if (event.xexpose.count == 0 && m_sink)
            m_sink->Exposed();
        break;
    case ClientMessage:
        if (m_topLevel && static_cast<Atom>(event.xclient.data.l[0]) == m_deleteWindow && m_sink)
            m_sink->CloseRequested();
        break;
    default:
        break;
    }
}

bool X11Bridge::Pump()
{
    if (!m_display)
        return false;
    while (XPending(m_display) > 0)
    {
        XEvent event;
        XNextEvent(m_display, &event);
        HandleStructureEvent(event);
        if (!m_sink || !m_windowAlive.load() || event.xany.window != m_window)
            continue;
        // Of a run of motion events only the last counts.
        while (event.type == MotionNotify && XEventsQueued(m_display, QueuedAlready) > 0)
        {
            XEvent next;
            XPeekEvent(m_display, &next);
            if (next.type != MotionNotify || next.xany.window != m_window)
                break;
            XNextEvent(m_display, &event);
        }
        m_translator.Translate(event, *m_sink);
    }
    if (m_preferences && !m_preferences->Pump())
        m_preferences.reset();
    return m_windowAlive.load();
}

void X11Bridge::SetEditorManager(Manager* manager)
{
    if (!manager)
        m_preferences.reset();
    m_editorManager = manager;
}

bool X11Bridge::InitGL()
{
    if (!IsOpen() || !m_windowAlive.load())
        return false;
    if (!m_context)
    {
        m_context = glXCreateContext(m_display, VisualOf(m_visual), nullptr, True);
        if (!m_context)
        {
            std::fprintf(stderr, "Velluna editor (X11): unable to create a GL context\n");
            return false;
        }
    }
    if (!glXMakeCurrent(m_display, m_window, m_context))
    {
        std::fprintf(stderr, "Velluna editor (X11): unable to draw into the editor window\n");
        return false;
    }
    return true;
}

void X11Bridge::PostInitGL()
{
    if (m_context)
        glXWaitX();
}

void X11Bridge::RenderTaskHandleResize()
{
    // The GL surface follows the window; only wait for X to have resized it.
    if (m_context && m_windowAlive.load())
        glXWaitX();
}

void X11Bridge::InitGLOffscreen(int width, int height)
{
    if (!m_context || width < 1 || height < 1 || !m_windowAlive.load())
        return;
    const unsigned errorsBefore = m_errorCount.load();
    m_labelPixmap = XCreatePixmap(m_display, m_window, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height),
                                  static_cast<unsigned>(VisualOf(m_visual)->depth));
    m_labelDrawable = glXCreateGLXPixmap(m_display, VisualOf(m_visual), m_labelPixmap);
    // Shares textures with the window's context, so the label font can be drawn here.
    m_labelContext = glXCreateContext(m_display, VisualOf(m_visual), m_context, True);
    XSync(m_display, False);
    if (!m_labelContext || m_errorCount.load() != errorsBefore)
    {
        std::fprintf(stderr, "Velluna editor (X11): unable to create the label surface\n");
        return;
    }
    m_labelPixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
    m_labelWidth = width;
    m_labelHeight = height;
}

void X11Bridge::MakeOffscreenCurrent()
{
    if (!m_labelContext)
        return;
    if (glXMakeCurrent(m_display, m_labelDrawable, m_labelContext))
    {
        glDrawBuffer(GL_FRONT);
        glReadBuffer(GL_FRONT);
        m_labelCurrent = true;
    }
}

bool X11Bridge::MakeCurrent()
{
    if (!m_context || !m_windowAlive.load())
        return false;
    if (m_labelCurrent)
    {
        // Keep the label pixels in memory, rows from the top.
        glFinish();
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        const std::size_t rowBytes = static_cast<std::size_t>(m_labelWidth) * 4;
        for (int row = 0; row < m_labelHeight; ++row)
            glReadPixels(0, m_labelHeight - 1 - row, m_labelWidth, 1, GL_BGRA,
                         GL_UNSIGNED_INT_8_8_8_8_REV,
                         m_labelPixels.data() + static_cast<std::size_t>(row) * rowBytes);
        m_labelCurrent = false;
    }
    if (glXGetCurrentContext() == m_context && glXGetCurrentDrawable() == m_window)
        return true;
    return glXMakeCurrent(m_display, m_window, m_context);
}

const std::uint8_t* X11Bridge::OffscreenPixels() const
{
    return m_labelPixels.empty() ? nullptr : m_labelPixels.data();
}

void X11Bridge::ShutdownGL()
{
    if (!m_display)
        return;
    if (glXGetCurrentContext() == m_context || glXGetCurrentContext() == m_labelContext)
        glXMakeCurrent(m_display, None, nullptr);
    if (m_labelContext)
        glXDestroyContext(m_display, m_labelContext);
    m_labelContext = nullptr;
    if (m_labelDrawable)
        glXDestroyGLXPixmap(m_display, m_labelDrawable);
    m_labelDrawable = 0;
    if (m_labelPixmap)
        XFreePixmap(m_display, m_labelPixmap);
    m_labelPixmap = 0;
    m_labelCurrent = false;
    if (m_context)
        glXDestroyContext(m_display, m_context);
    m_context = nullptr;
    XSync(m_display, False);
}

void X11Bridge::SwapBuffers()
{
    if (m_context && m_windowAlive.load())
        glXSwapBuffers(m_display, m_window);
}

bool X11Bridge::ReadPixels(std::vector<std::uint8_t>& rgba, int& width, int& height)
{
    if (!m_context || !m_windowAlive.load())
        return false;
    width = m_widthPixels.load();
    height = m_heightPixels.load();
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    rgba.resize(rowBytes * static_cast<std::size_t>(height));
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    for (int row = 0; row < height; ++row)
        glReadPixels(0, height - 1 - row, width, 1, GL_RGBA, GL_UNSIGNED_BYTE,
                     rgba.data() + static_cast<std::size_t>(row) * rowBytes);
    return true;
}

void X11Bridge::SetFocusToWindow()
{
    if (!IsOpen() || !m_windowAlive.load())
        return;
    XSetInputFocus(m_display, m_window, RevertToParent, CurrentTime);
    XFlush(m_display);
}

void X11Bridge::SetFrameSize(int width, int height)
{
    if (!IsOpen() || !m_windowAlive.load())
        return;
    const int scale = GetDevicePixelScale();
    const int w = (width < 1 ? 1 : width) * scale;
    const int h = (height < 1 ? 1 : height) * scale;
    XResizeWindow(m_display, m_window, static_cast<unsigned>(w), static_cast<unsigned>(h));
    if (m_topLevel)
    {
        // A window manager may not resize a top-level panel from its frame: the panel would not
        // follow. It takes its size from its own corner drag, which comes back here.
        XSizeHints hints{};
        hints.flags = PSize | PMinSize | PMaxSize;
        hints.width = hints.min_width = hints.max_width = w;
        hints.height = hints.min_height = hints.max_height = h;
        XSetWMNormalHints(m_display, m_window, &hints);
    }
    XFlush(m_display);
    m_widthPixels.store(w);
    m_heightPixels.store(h);
    m_translator.SetWindowHeight(h);
    // Input follows the device pixel scale, which the editor sets before it sizes the window.
    m_translator.SetScale(scale);
}

int X11Bridge::GetFrameHeight()
{
    return m_heightPixels.load() / GetDevicePixelScale();
}

void X11Bridge::CenterWindow(void*)
{
    if (!IsOpen() || !m_topLevel || !m_windowAlive.load())
        return;
    const int screen = DefaultScreen(m_display);
    const int x = (DisplayWidth(m_display, screen) - m_widthPixels.load()) / 2;
    const int y = (DisplayHeight(m_display, screen) - m_heightPixels.load()) / 2;
    XMoveWindow(m_display, m_window, x < 0 ? 0 : x, y < 0 ? 0 : y);
    XFlush(m_display);
}

void X11Bridge::RunPropertyTextFieldDialog(int property, std::string prompt, std::string)
{
    std::fprintf(stderr, "no dialog inside the host for property %d (%s)\n", property,
                 prompt.c_str());
}

void X11Bridge::RunPropertyDialog(int property, int which)
{
    if (property == kPreferencesDialog)
    {
        if (m_preferences && m_preferences->IsOpen())
        {
            m_preferences->BringForward();
            return;
        }
        m_preferences.reset();
        if (!m_display)
            return;
        m_preferences =
            std::make_unique<X11PreferencesWindow>(m_editorManager, DisplayString(m_display));
        if (!m_preferences->IsOpen())
            m_preferences.reset();
        return;
    }
    std::fprintf(stderr, "no dialog inside the host for property %d (%d)\n", property, which);
}

} // namespace TW
