#include "WavFileWriter.h"

#include "core/OutputFile.h"

#include <sndfile.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

} // namespace

WavFileWriter::~WavFileWriter()
{
    Discard();
}

bool WavFileWriter::Open(const std::string& path, int rate, std::uint64_t expectedFrames,
                         std::string& error)
{
    Discard();
    if (path.empty() || path.back() == '/')
    {
        error = "\"" + path + "\" is not a file name";
        return false;
    }
    TW::OutputFile output;
    if (!TW::ResolveOutputFile(path, output, error))
        return false;
    const int fd = TW::OpenOutputFile(output, error);
    if (fd < 0)
        return false;
    m_output = output;
    m_tempPath = output.temporary;
    if (!output.direct)
    {
        // The finished file gets the usual permissions.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    // Plain WAV counts its bytes in 32 bits; leave room for the header and the peak chunk.
    const bool large = expectedFrames * 2 * sizeof(float) > 0xFFFFFFFFull - 4096;
    info.format = (large ? SF_FORMAT_RF64 : SF_FORMAT_WAV) | SF_FORMAT_FLOAT;
    m_file = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (!m_file)
    {
        error = std::string("cannot start the WAV file: ") + sf_strerror(nullptr);
        ::close(fd);
        Discard();
        return false;
    }
    m_path = path;
    return true;
}

bool WavFileWriter::Write(const float* left, const float* right, std::uint32_t frames,
                          std::string& error)
{
    if (!m_file)
    {
        error = "no WAV file is open";
        return false;
    }
    m_interleaved.resize(static_cast<std::size_t>(frames) * 2);
    for (std::uint32_t i = 0; i < frames; ++i)
    {
        m_interleaved[2 * i] = left[i];
        m_interleaved[2 * i + 1] = right[i];
    }
    const sf_count_t written = sf_writef_float(m_file, m_interleaved.data(), frames);
    if (written != static_cast<sf_count_t>(frames))
    {
        error = std::string("cannot write the WAV file: ") + sf_strerror(m_file);
        return false;
    }
    return true;
}

bool WavFileWriter::Commit(std::string& error)
{
    if (!m_file)
    {
        error = "no WAV file is open";
        return false;
    }
    sf_write_sync(m_file);
    const int closeStatus = sf_close(m_file);
    m_file = nullptr;
    if (closeStatus != 0)
    {
        error = std::string("cannot finish the WAV file: ") + sf_error_number(closeStatus);
        Discard();
        return false;
    }
    if (!TW::CommitOutputFile(m_output, error))
    {
        m_tempPath.clear();
        return false;
    }
    m_tempPath.clear();
    return true;
}

void WavFileWriter::Discard() noexcept
{
    if (m_file)
    {
        sf_close(m_file);
        m_file = nullptr;
    }
    if (!m_tempPath.empty())
    {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
}
