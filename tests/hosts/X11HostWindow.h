// A host's window on an X server, as a CLAP host gives it to a plug-in's editor: a window of the
// test's own connection, the windows the editor puts in it, their pixels, and real input (XTest)
// at a point of one of them. Xlib's headers stay out of this one.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct _XDisplay;

namespace VellunaHostTest
{

class X11HostWindow
{
public:
    // A mapped window of width x height pixels at (x, y) on the root window of `display`.
    X11HostWindow(const std::string& display, int x, int y, int width, int height);
    // Destroys the window unless Destroy did, and closes the connection.
    ~X11HostWindow();
    X11HostWindow(const X11HostWindow&) = delete;
    X11HostWindow& operator=(const X11HostWindow&) = delete;

    bool IsOpen() const { return m_window != 0; }
    unsigned long Id() const { return m_window; }
    // The host destroys its window (and with it whatever the editor put in it).
    void Destroy();
    // Waits until the server has handled every request of this connection.
    void Sync();

    // The windows inside this one.
    std::vector<unsigned long> Children() const;
    bool Size(unsigned long window, int& width, int& height) const;
    // Distinct colours among the window's pixels (0 when it is not viewable).
    std::size_t Colours(unsigned long window) const;
    // Presses the first button at (x, y) of `window` (pixels from its top left), moves by
    // (dx, dy) in `steps` steps, and releases.
    void Drag(unsigned long window, int x, int y, int dx, int dy, int steps);

private:
    _XDisplay* m_display = nullptr;
    unsigned long m_window = 0;
};

} // namespace VellunaHostTest
