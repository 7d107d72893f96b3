#include "LogRing.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace TW
{

LogRing& LogRing::Get()
{
    static LogRing ring;
    return ring;
}

LogRing::LogRing() noexcept
{
    for (std::uint32_t i = 0; i < kSlots; ++i)
        m_slots[i].sequence.store(i, std::memory_order_relaxed);
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

LogRing::Slot* LogRing::Claim(std::uint32_t& pos) noexcept
{
    pos = m_writePos.load(std::memory_order_relaxed);
    for (;;)
    {
        Slot& slot = m_slots[pos % kSlots];
        const std::uint32_t sequence = slot.sequence.load(std::memory_order_acquire);
        const auto lag = static_cast<std::int32_t>(sequence - pos);
        if (lag == 0)
        {
            if (m_writePos.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed))
                return &slot;
        }
        else if (lag < 0)
        {
            m_lost.fetch_add(1, std::memory_order_relaxed);
            return nullptr;
        }
        else
            pos = m_writePos.load(std::memory_order_relaxed);
    }
}

void LogRing::Publish(Slot& slot, std::uint32_t pos) noexcept
{
    // Every line ends in exactly one line feed, also when it was cut.
    std::size_t length = std::strlen(slot.text);
    if (length == 0 || slot.text[length - 1] != '\n')
    {
        if (length == kLineBytes - 1)
            --length;
        slot.text[length] = '\n';
        slot.text[length + 1] = '\0';
    }
    slot.sequence.store(pos + 1, std::memory_order_release);
    sem_post(&m_wake);
}

bool LogRing::Write(const char* text, Stream stream) noexcept
{
    std::uint32_t pos = 0;
    Slot* slot = Claim(pos);
    if (!slot)
        return false;
    slot->stream = stream;
    std::strncpy(slot->text, text ? text : "", kLineBytes - 1);
    slot->text[kLineBytes - 1] = '\0';
    Publish(*slot, pos);
    return true;
}

bool LogRing::Format(const char* format, ...) noexcept
{
    std::uint32_t pos = 0;
    Slot* slot = Claim(pos);
    if (!slot)
        return false;
    slot->stream = Stream::Error;
    va_list args;
    va_start(args, format);
    if (std::vsnprintf(slot->text, kLineBytes, format, args) < 0)
        slot->text[0] = '\0';
    va_end(args);
    Publish(*slot, pos);
    return true;
}

int LogRing::Flush()
{
    std::lock_guard<std::mutex> lock(m_readLock);
    int printed = 0;
    for (;;)
    {
        Slot& slot = m_slots[m_readPos % kSlots];
        if (slot.sequence.load(std::memory_order_acquire) != m_readPos + 1)
            break;
        const std::uint32_t lost = m_lost.exchange(0, std::memory_order_relaxed);
        if (lost)
            std::fprintf(stderr, "(%u diagnostic lines lost: too many at once)\n", lost);
        std::fputs(slot.text, slot.stream == Stream::Output ? stdout : stderr);
        slot.sequence.store(m_readPos + kSlots, std::memory_order_release);
        ++m_readPos;
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
