// Diagnostics (and script output) from real-time threads. A line written here is copied into a
// fixed ring and printed to standard error (or output) later by a thread of its own, so a blocked
// terminal or a full pipe can never stall the thread that wrote it. Writers never lock, allocate or
// wait; a line that finds the ring full is counted, and the count is printed with the next line
// that gets through.
#pragma once

#include "MpscRing.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <semaphore.h>
#include <thread>

namespace TW
{

class LogRing
{
public:
    static constexpr std::uint32_t kSlots = 64;
    static constexpr std::size_t kLineBytes = 256; // longer lines are cut, keeping the line feed

    enum class Stream : std::uint8_t
    {
        Error,  // standard error: diagnostics
        Output, // standard output: what scripts print
    };

    // The process-wide ring. Any thread; the first call should come from a main thread.
    static LogRing& Get();

    // Queues one line (its text, a line feed is added when it has none). False when the ring is
    // full. Any thread, real-time safe.
    bool Write(const char* text, Stream stream = Stream::Error) noexcept;
    // The same with printf formatting; use integer and string conversions only (floating-point
    // conversions may allocate). Any thread, real-time safe.
    bool Format(const char* format, ...) noexcept __attribute__((format(printf, 2, 3)));

    // Prints every line waiting now, in the order written, and returns how many. Any thread that
    // may block on standard error (never a real-time thread).
    int Flush();

    // While at least one holder lives, a printer thread prints lines as they come. Every instance
    // holds it from construction to destruction; the last release prints what is left and joins
    // the thread. Main thread.
    void AcquirePrinter();
    void ReleasePrinter();

    LogRing(const LogRing&) = delete;
    LogRing& operator=(const LogRing&) = delete;

private:
    LogRing() noexcept;
    ~LogRing();

    struct Line
    {
        Stream stream;
        char text[kLineBytes];
    };

    // Claims the next free line; null when full (the loss is counted).
    Line* Claim(std::uint32_t& pos) noexcept;
    // Ends the line in exactly one line feed and hands it to the printer.
    void Publish(Line& line, std::uint32_t pos) noexcept;
    void PrinterLoop();

    MpscRing<Line, kSlots> m_ring;
    alignas(64) std::atomic<std::uint32_t> m_lost{0};
    std::mutex m_readLock; // one reader at a time: the printer thread or a Flush
    sem_t m_wake;
    std::mutex m_printerLock; // guards the holder count and the thread
    int m_holders = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_printer;
};

} // namespace TW
