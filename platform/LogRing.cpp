#include "LogRing.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace TW
{

LogRing& LogRing::Get()
{
    // Never destroyed: an instance kept in another static (a plug-in framework keeps its own
    // until the process exits) releases the printer from its destructor, which may run after
    // this file's statics are gone. What is left is printed at exit all the same.
    // It lives in static storage rather than on the heap, so no leak check sees it.
    alignas(LogRing) static unsigned char storage[sizeof(LogRing)];
    static LogRing* const ring = []
    {
        LogRing* made = new (storage) LogRing;
        std::atexit([] { Get().Flush(); });
        return made;
    }();
    return *ring;
}

LogRing::LogRing() noexcept
{
    sem_init(&m_wake, 0, 0);
}

LogRing::~LogRing()
{
    {
        std::lock_guard<std::mutex> lock(m_printerLock);
        if (m_printer.joinable())
        {
            m_stop.store(true);
            sem_post(&m_wake);
            m_printer.join();
        }
    }
    Flush();
    sem_destroy(&m_wake);
}

LogRing::Line* LogRing::Claim(std::uint32_t& pos) noexcept
{
    Line* line = m_ring.Claim(pos);
    if (!line)
        m_lost.fetch_add(1, std::memory_order_relaxed);
    return line;
}

void LogRing::Publish(Line& line, std::uint32_t pos) noexcept
{
    // Every line ends in exactly one line feed, also when it was cut.
    std::size_t length = std::strlen(line.text);
    if (length == 0 || line.text[length - 1] != '\n')
    {
        if (length == kLineBytes - 1)
            --length;
        line.text[length] = '\n';
        line.text[length + 1] = '\0';
    }
    m_ring.Publish(pos);
    sem_post(&m_wake);
}

bool LogRing::Write(const char* text, Stream stream) noexcept
{
    std::uint32_t pos = 0;
    Line* line = Claim(pos);
    if (!line)
        return false;
    line->stream = stream;
    std::strncpy(line->text, text ? text : "", kLineBytes - 1);
    line->text[kLineBytes - 1] = '\0';
    Publish(*line, pos);
    return true;
}

bool LogRing::Format(const char* format, ...) noexcept
{
    std::uint32_t pos = 0;
    Line* line = Claim(pos);
    if (!line)
        return false;
    line->stream = Stream::Error;
    va_list args;
    va_start(args, format);
    if (std::vsnprintf(line->text, kLineBytes, format, args) < 0)
        line->text[0] = '\0';
    va_end(args);
    Publish(*line, pos);
    return true;
}

int LogRing::Flush()
{
    std::lock_guard<std::mutex> lock(m_readLock);
    int printed = 0;
    while (const Line* line = m_ring.Front())
    {
        const std::uint32_t lost = m_lost.exchange(0, std::memory_order_relaxed);
        if (lost)
            std::fprintf(stderr, "(%u diagnostic lines lost: too many at once)\n", lost);
        std::fputs(line->text, line->stream == Stream::Output ? stdout : stderr);
        m_ring.Pop();
        ++printed;
    }
    if (const std::uint32_t lost = m_lost.exchange(0, std::memory_order_relaxed))
        std::fprintf(stderr, "(%u diagnostic lines lost: too many at once)\n", lost);
    std::fflush(stdout);
    std::fflush(stderr);
    return printed;
}

void LogRing::AcquirePrinter()
{
    std::lock_guard<std::mutex> lock(m_printerLock);
    if (m_holders++ > 0)
        return;
    m_stop.store(false);
    m_printer = std::thread([this] { PrinterLoop(); });
}

void LogRing::ReleasePrinter()
{
    {
        // Joined under the lock, so a new holder cannot start a printer while this one ends.
        std::lock_guard<std::mutex> lock(m_printerLock);
        if (m_holders == 0 || --m_holders > 0)
            return;
        m_stop.store(true);
        sem_post(&m_wake);
        m_printer.join();
    }
    Flush();
}

void LogRing::PrinterLoop()
{
    while (!m_stop.load())
    {
        while (sem_wait(&m_wake) != 0)
        {
        }
        Flush();
    }
}

} // namespace TW
