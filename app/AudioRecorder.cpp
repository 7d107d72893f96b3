#include "AudioRecorder.h"

#include <jack/ringbuffer.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace
{

// Seconds of stereo float audio the ring holds before the writer must catch up.
constexpr std::size_t kRingSeconds = 8;

} // namespace

AudioRecorder::~AudioRecorder()
{
    std::string ignored;
    Close(ignored);
}

bool AudioRecorder::Open(const std::string& path, int rate, std::uint32_t maxFrames,
                         std::uint64_t expectedFrames, std::string& error)
{
    if (!m_file.Open(path, rate, expectedFrames, error))
        return false;
    m_ring =
        jack_ringbuffer_create(static_cast<std::size_t>(rate) * kRingSeconds * 2 * sizeof(float));
    if (!m_ring)
    {
        error = "cannot make the recording buffer";
        m_file.Discard();
        return false;
    }
    // Locked into memory so the render thread never waits for a page fault on it.
    jack_ringbuffer_mlock(m_ring);
    m_scratch.assign(static_cast<std::size_t>(maxFrames) * 2, 0.0f);
    sem_init(&m_dataReady, 0, 0);
    m_semaphoreMade = true;
    m_writer = std::thread(&AudioRecorder::WriterMain, this);
    return true;
}

void AudioRecorder::Push(const float* left, const float* right, std::uint32_t frames) noexcept
{
    if (!m_ring)
        return;
    if (frames * 2 > m_scratch.size())
        frames = static_cast<std::uint32_t>(m_scratch.size() / 2);
    const std::size_t bytes = static_cast<std::size_t>(frames) * 2 * sizeof(float);
    if (jack_ringbuffer_write_space(m_ring) < bytes)
    {
        m_dropped.fetch_add(frames, std::memory_order_relaxed);
        return;
    }
    for (std::uint32_t i = 0; i < frames; ++i)
    {
        m_scratch[2 * i] = left[i];
        m_scratch[2 * i + 1] = right[i];
    }
    jack_ringbuffer_write(m_ring, reinterpret_cast<const char*>(m_scratch.data()), bytes);
    sem_post(&m_dataReady); // async-signal-safe: it never blocks
}

void AudioRecorder::WriterMain()
{
    while (!m_stop.load())
    {
        timespec until{};
        clock_gettime(CLOCK_REALTIME, &until);
        until.tv_nsec += 100'000'000;
        if (until.tv_nsec >= 1'000'000'000)
        {
            until.tv_sec += 1;
            until.tv_nsec -= 1'000'000'000;
        }
        while (sem_timedwait(&m_dataReady, &until) != 0 && errno == EINTR)
        {
        }
        Drain();
    }
    Drain();
}

void AudioRecorder::Drain()
{
    const std::size_t frameBytes = 2 * sizeof(float);
    std::size_t available = jack_ringbuffer_read_space(m_ring) / frameBytes;
    while (available > 0 && m_writeError.empty())
    {
        const std::size_t frames = std::min<std::size_t>(available, 8192);
        m_read.resize(frames * 2);
        m_left.resize(frames);
        m_right.resize(frames);
        jack_ringbuffer_read(m_ring, reinterpret_cast<char*>(m_read.data()), frames * frameBytes);
        for (std::size_t i = 0; i < frames; ++i)
        {
            m_left[i] = m_read[2 * i];
            m_right[i] = m_read[2 * i + 1];
        }
        std::string error;
        if (!m_file.Write(m_left.data(), m_right.data(), static_cast<std::uint32_t>(frames), error))
            m_writeError = error.empty() ? "cannot write the recording" : error;
        else
            m_written.fetch_add(frames);
        available -= frames;
    }
}

bool AudioRecorder::Close(std::string& error)
{
    if (!m_ring)
        return true;
    m_stop.store(true);
    sem_post(&m_dataReady);
    if (m_writer.joinable())
        m_writer.join();
    jack_ringbuffer_free(m_ring);
    m_ring = nullptr;
    if (m_semaphoreMade)
        sem_destroy(&m_dataReady);
    m_semaphoreMade = false;
    if (!m_writeError.empty())
    {
        error = m_writeError;
        m_file.Discard();
        return false;
    }
    return m_file.Commit(error);
}
