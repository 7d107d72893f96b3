// A 32-bit float stereo WAV file written to a temporary file beside its destination and renamed
// into place by Commit, so a failed or interrupted render never leaves a partial file under the
// destination's name. Files that would pass the 4 GiB limit of plain WAV are written as RF64.
// Main thread.
#pragma once

#include "core/OutputFile.h"

#include <cstdint>
#include <string>
#include <vector>

struct sf_private_tag;

class WavFileWriter
{
public:
    WavFileWriter() = default;
    // Removes the temporary file unless Commit succeeded.
    ~WavFileWriter();

    WavFileWriter(const WavFileWriter&) = delete;
    WavFileWriter& operator=(const WavFileWriter&) = delete;

    // Creates the temporary file for path at rate Hz; expectedFrames chooses between WAV and
    // RF64. False with a message on failure.
    bool Open(const std::string& path, int rate, std::uint64_t expectedFrames, std::string& error);
    // Appends frames of the two channels.
    bool Write(const float* left, const float* right, std::uint32_t frames, std::string& error);
    // Finishes the file and renames it to the destination, replacing what was there.
    bool Commit(std::string& error);
    // Closes and removes the temporary file; the destination is untouched.
    void Discard() noexcept;

    const std::string& TemporaryPath() const noexcept { return m_tempPath; }

private:
    sf_private_tag* m_file = nullptr;
    std::string m_path;
    std::string m_tempPath;
    TW::OutputFile m_output;
    std::vector<float> m_interleaved;
};
