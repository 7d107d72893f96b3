// Records what a real-time render thread plays into a float WAV file without touching the disk
// from that thread: the render thread pushes blocks into a lock-free ring, a writer thread of the
// recorder's own drains it into the file.
#pragma once

#include "WavFileWriter.h"

#include <jack/ringbuffer.h>
#include <semaphore.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

class AudioRecorder
{
public:
    AudioRecorder() = default;
    ~AudioRecorder();
    AudioRecorder(const AudioRecorder&) = delete;
    AudioRecorder& operator=(const AudioRecorder&) = delete;

    // Opens the file and starts the writer thread. maxFrames bounds one Push; expectedFrames
    // (0 when unknown) lets the file grow past 4 GiB as RF64. Main thread.
    bool Open(const std::string& path, int rate, std::uint32_t maxFrames,
              std::uint64_t expectedFrames, std::string& error);
    // Render thread: copies frames of both channels into the ring; never blocks or allocates.
    // Frames that find the ring full are dropped and counted.
    void Push(const float* left, const float* right, std::uint32_t frames) noexcept;
    // Main thread, after the render thread has stopped: writes what is left and finishes the
    // file. False with a message on failure.
    bool Close(std::string& error);

    std::uint64_t FramesWritten() const noexcept { return m_written.load(); }
    std::uint64_t FramesDropped() const noexcept { return m_dropped.load(); }

private:
    void WriterMain();
    void Drain();

    WavFileWriter m_file;
    jack_ringbuffer_t* m_ring = nullptr;
    std::vector<float> m_scratch;               // render thread: interleaving
    std::vector<float> m_read, m_left, m_right; // writer thread
    sem_t m_dataReady{};
    bool m_semaphoreMade = false;
    std::thread m_writer;
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint64_t> m_written{0};
    std::atomic<std::uint64_t> m_dropped{0};
    std::string m_writeError; // writer thread until it ends
};
