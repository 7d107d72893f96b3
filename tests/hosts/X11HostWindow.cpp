#include "X11HostWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <set>

namespace VellunaHostTest
{

X11HostWindow::X11HostWindow(const std::string& display, int x, int y, int width, int height)
{
    m_display = XOpenDisplay(display.c_str());
    if (!m_display)
        return;
    m_window =
        XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), x, y,
                            static_cast<unsigned>(width), static_cast<unsigned>(height), 0, 0, 0);
    XMapWindow(m_display, m_window);
    XSync(m_display, False);
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
    XWindowAttributes attributes{};
    if (!m_display || !XGetWindowAttributes(m_display, window, &attributes))
        return false;
    width = attributes.width;
    height = attributes.height;
    return true;
}

std::size_t X11HostWindow::Colours(unsigned long window) const
{
    XWindowAttributes attributes{};
    if (!m_display || !XGetWindowAttributes(m_display, window, &attributes) ||
        attributes.map_state != IsViewable)
        return 0;
    XImage* image = XGetImage(m_display, window, 0, 0, static_cast<unsigned>(attributes.width),
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

void X11HostWindow::Drag(unsigned long window, int x, int y, int dx, int dy, int steps)
{
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(m_display, window, DefaultRootWindow(m_display), x, y, &rootX, &rootY,
                          &child);
    XTestFakeMotionEvent(m_display, -1, rootX, rootY, 0);
    XTestFakeButtonEvent(m_display, 1, True, 0);
    for (int step = 1; step <= steps; ++step)
        XTestFakeMotionEvent(m_display, -1, rootX + dx * step / steps, rootY + dy * step / steps,
                             0);
    XTestFakeButtonEvent(m_display, 1, False, 0);
    XSync(m_display, False);
}

} // namespace VellunaHostTest
