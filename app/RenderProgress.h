// Progress of an offline render on standard error: a bar, redrawn at most ten times a second,
// that appears only on a terminal and only once the render has run for a second; and the
// summary line printed at the end. Main thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

class RenderProgress
{
public:
    // totalFrames: the frames the render will produce; rate in Hz. showBar: draw the bar
    // (normally isatty(2)).
    RenderProgress(std::uint64_t totalFrames, double rate, bool showBar, std::FILE* out = stderr);

    // After each stretch of audio: frames done so far.
    void Update(std::uint64_t framesDone);
    // Removes the bar, if one was drawn.
    void Clear();
    // Wall-clock seconds since construction.
    double Elapsed() const;

    // "rendered F frames (A s of audio) in W s: Xx real time", W in wall-clock seconds.
    static std::string SummaryLine(std::uint64_t frames, double rate, double wallSeconds);

private:
    using Clock = std::chrono::steady_clock;

    std::uint64_t m_totalFrames;
    double m_rate;
    bool m_showBar;
    std::FILE* m_out;
    Clock::time_point m_start;
    Clock::time_point m_lastDraw;
    bool m_drawn = false;
};
