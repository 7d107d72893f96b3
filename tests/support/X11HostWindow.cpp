#include "X11HostWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <set>
#include <thread>

namespace TarnTest
{

unsigned long CreateMappedWindow(Display* display, int x, int y, int width, int height)
{
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), 0, 0, 0);
    XMapWindow(display, window);
    XSync(display, False);
    return window;
}

std::size_t Colours(Display* display, unsigned long window)
{
    XWindowAttributes attributes{};
    if (!display || !XGetWindowAttributes(display, window, &attributes) ||
        attributes.map_state != IsViewable)
        return 0;
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (!image)
        return 0;
    std::set<unsigned long> colours;
    for (int y = 0; y < attributes.height; y += 2)
        for (int x = 0; x < attributes.width; x += 2)
            colours.insert(XGetPixel(image, x, y) & 0xffffff);
    XDestroyImage(image);
    return colours.size();
}

bool WindowSize(Display* display, unsigned long window, int& width, int& height)
{
    XWindowAttributes attributes{};
    if (!display || !XGetWindowAttributes(display, window, &attributes))
        return false;
    width = attributes.width;
    height = attributes.height;
    return true;
}

std::vector<unsigned long> Descendants(Display* display, unsigned long window)
{
    std::vector<unsigned long> all;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count))
        return all;
    for (unsigned i = 0; i < count; ++i)
    {
        all.push_back(children[i]);
        const std::vector<unsigned long> below = Descendants(display, children[i]);
        all.insert(all.end(), below.begin(), below.end());
    }
    if (children)
        XFree(children);
    return all;
}

std::string WindowName(Display* display, unsigned long window)
{
    char* name = nullptr;
    if (!XFetchName(display, window, &name) || !name)
        return {};
    std::string result = name;
    XFree(name);
    return result;
}

void Drag(Display* display, unsigned long window, int x, int y, int dx, int dy, int steps,
          const std::function<void()>& pump)
{
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rootX, &rootY,
                          &child);
    const auto handled = [&]
    {
        if (!pump)
            return;
        XSync(display, False);
        for (int i = 0; i < 4; ++i)
        {
            pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    };
    XTestFakeMotionEvent(display, -1, rootX, rootY, 0);
    handled();
    XTestFakeButtonEvent(display, 1, True, 0);
    handled();
    for (int step = 1; step <= steps; ++step)
    {
        XTestFakeMotionEvent(display, -1, rootX + dx * step / steps, rootY + dy * step / steps, 0);
        handled();
    }
    XTestFakeButtonEvent(display, 1, False, 0);
    XSync(display, False);
    handled();
}

X11HostWindow::X11HostWindow(const std::string& display, int x, int y, int width, int height)
{
    m_display = XOpenDisplay(display.c_str());
    if (m_display)
        m_window = CreateMappedWindow(m_display, x, y, width, height);
}

X11HostWindow::~X11HostWindow()
{
    Destroy();
    if (m_display)
        XCloseDisplay(m_display);
}

void X11HostWindow::Destroy()
{
    if (!m_window)
        return;
    XDestroyWindow(m_display, m_window);
    XSync(m_display, False);
    m_window = 0;
}

void X11HostWindow::Sync()
{
    if (m_display)
        XSync(m_display, False);
}

std::vector<unsigned long> X11HostWindow::Children() const
{
    std::vector<unsigned long> children;
    Window root = 0, parent = 0;
    Window* list = nullptr;
    unsigned count = 0;
    if (m_window && XQueryTree(m_display, m_window, &root, &parent, &list, &count))
    {
        children.assign(list, list + count);
        if (list)
            XFree(list);
    }
    return children;
}

bool X11HostWindow::Size(unsigned long window, int& width, int& height) const
{
    return WindowSize(m_display, window, width, height);
}

std::size_t X11HostWindow::Colours(unsigned long window) const
{
    return TarnTest::Colours(m_display, window);
}

void X11HostWindow::Drag(unsigned long window, int x, int y, int dx, int dy, int steps)
{
    TarnTest::Drag(m_display, window, x, y, dx, dy, steps);
}

} // namespace TarnTest
