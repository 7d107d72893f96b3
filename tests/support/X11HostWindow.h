// A host's window on an X server, as a plug-in host gives it to an editor: a window of the
// test's own connection, the windows the editor puts in it, their pixels, and real input (XTest)
// at a point of one of them. The free functions read and drive any window on a connection of
// the test's (a host program's windows too). Xlib's headers stay out of this one. Every call is
// made on the test's thread.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct _XDisplay;

namespace TarnTest
{

// A mapped window of width x height pixels at (x, y) on the root window, synced; 0 when the
// server refuses it.
unsigned long CreateMappedWindow(_XDisplay* display, int x, int y, int width, int height);

// Distinct colours among the window's pixels (every other row and column); 0 when the window is
// not viewable.
std::size_t Colours(_XDisplay* display, unsigned long window);

bool WindowSize(_XDisplay* display, unsigned long window, int& width, int& height);

// Every window below this one, depth first.
std::vector<unsigned long> Descendants(_XDisplay* display, unsigned long window);

// The window's name, empty when it has none.
std::string WindowName(_XDisplay* display, unsigned long window);

// Presses the first button at (x, y) of `window` (pixels from its top left), moves by (dx, dy)
// in `steps` steps, and releases. With a pump (the host's loop), the connection is synced after
// each event and pump() called four times 10 ms apart; without one the events go out together.
void Drag(_XDisplay* display, unsigned long window, int x, int y, int dx, int dy, int steps,
          const std::function<void()>& pump = {});

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
    // Drags with the first button from (x, y) of `window` by (dx, dy) in `steps` steps.
    void Drag(unsigned long window, int x, int y, int dx, int dy, int steps);

private:
    _XDisplay* m_display = nullptr;
    unsigned long m_window = 0;
};

} // namespace TarnTest
