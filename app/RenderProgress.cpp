#include "RenderProgress.h"

#include <algorithm>

namespace
{

constexpr double kBarDelay = 1.0;     // seconds before the bar appears
constexpr double kRedrawPeriod = 0.1; // seconds between redraws
constexpr int kBarWidth = 40;         // characters

} // namespace

RenderProgress::RenderProgress(std::uint64_t totalFrames, double rate, bool showBar, std::FILE* out)
    : m_totalFrames(totalFrames), m_rate(rate), m_showBar(showBar), m_out(out),
      m_start(Clock::now()), m_lastDraw(m_start)
{
}

double RenderProgress::Elapsed() const
{
    return std::chrono::duration<double>(Clock::now() - m_start).count();
}

void RenderProgress::Update(std::uint64_t framesDone)
{
    if (!m_showBar || m_totalFrames == 0)
        return;
    const Clock::time_point now = Clock::now();
    if (std::chrono::duration<double>(now - m_start).count() < kBarDelay ||
        std::chrono::duration<double>(now - m_lastDraw).count() < kRedrawPeriod)
        return;
    m_lastDraw = now;
    const double fraction =
        std::min(1.0, static_cast<double>(framesDone) / static_cast<double>(m_totalFrames));
    const int filled = static_cast<int>(fraction * kBarWidth);
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i)
        bar[i] = i < filled ? '#' : '-';
    bar[kBarWidth] = '\0';
    std::fprintf(m_out, "\r[%s] %3d%%  %.1f of %.1f s", bar, static_cast<int>(fraction * 100.0),
                 static_cast<double>(framesDone) / m_rate,
                 static_cast<double>(m_totalFrames) / m_rate);
    std::fflush(m_out);
    m_drawn = true;
}

void RenderProgress::Clear()
{
    if (!m_drawn)
        return;
    std::fprintf(m_out, "\r\033[K");
    std::fflush(m_out);
    m_drawn = false;
}

std::string RenderProgress::SummaryLine(std::uint64_t frames, double rate, double wallSeconds)
{
    const double audio = static_cast<double>(frames) / rate;
    const double speed = audio / std::max(wallSeconds, 1e-6);
    char line[160];
    std::snprintf(line, sizeof line,
                  "rendered %llu frames (%.3f s of audio) in %.3f s: %.1fx real time",
                  static_cast<unsigned long long>(frames), audio, wallSeconds, speed);
    return line;
}
